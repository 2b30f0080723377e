// The run record turned into the setup command, and its launch.
#include "package/setup_command.h"

#include "package/layout.h"
#include "package/reader.h"
#include "support/os/system.h"
#include "support/runtime/termination.h"
#include "support/text/c_string.h"
#include "support/text/launch_command.h"

namespace {
constexpr char placeholder[] = "%path%";
constexpr int32_t placeholder_length = sizeof placeholder - 1;
} // namespace

const char* run_record_message(RunRecordOutcome outcome) {
  static constexpr const char* messages[] = {
      "",
      "File Read Execution File error(1)!",
      "File Read Execution File error(2)!",
  };
  return messages[static_cast<int>(outcome)];
}

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

RunRecordOutcome read_run_record(FileHandle package, const String& target_directory,
                                 char (&command)[setup_command_size]) {
  fill_bytes(command, 0, sizeof command);
  uint8_t length = read_u8_from_zero(package);
  if (length == layout::rejected_length)
    return RunRecordOutcome::length_rejected;
  String setup = build_setup_command(read_text_field(package, length), target_directory);
  if (setup.length() > setup_command_size - 1)
    return RunRecordOutcome::too_long;
  copy_bytes(command, setup.c_str(), static_cast<size_t>(setup.length()));
  return RunRecordOutcome::read;
}

void launch_setup_command(const char (&command)[setup_command_size],
                          const String& target_directory) {
  if (command[0] == '\0')
    return;
  change_directory(target_directory);
  io_check();
  LaunchCommand program =
      split_launch_command(String(command), target_directory.length(), file_exists);
  launch_program("open", program.program.c_str(),
                 program.parameters.empty() ? nullptr : program.parameters.c_str());
  pause_ms(1000);
}
