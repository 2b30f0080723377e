// The run record turned into the setup command.
#include "extract/setup_command.h"

#include "support/os/paths.h"

#include "support/base/bytes.h"

namespace {
constexpr char placeholder[] = "%path%";
constexpr int32_t placeholder_length = sizeof placeholder - 1;
} // namespace

String build_setup_command(const String& command_text, const String& target_directory) {
  if (command_text.empty())
    return String();
  String text = command_text;
  int32_t at = text.find(placeholder);
  if (at >= 0)
    text = text.substring(0, at) + target_directory +
           text.substring(at + placeholder_length, text.length());
  return target_directory + text;
}

Verdict set_setup_command(const String& command_text, const String& target_directory,
                          char (&command)[setup_command_size]) {
  fill_bytes(command, 0, sizeof command);
  String setup = build_setup_command(command_text, target_directory);
  if (setup.length() > setup_command_size - 1)
    return Verdict::command_too_long;
  copy_bytes(command, setup.c_str(), static_cast<size_t>(setup.length()));
  return Verdict::ok;
}

LaunchCommand setup_program(const char (&command)[setup_command_size],
                            const String& target_directory) {
  return split_launch_command(String(command), target_directory.length(), file_exists);
}
