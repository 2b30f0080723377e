// Fuzzes the setup command in memory: how the run record's text becomes the
// command under the target directory, the 255-byte rule, and the split
// into program and parameters (the program never ends inside the target
// directory's text), against a model of each.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "extract/setup_command.h"
#include "support/text/launch_command.h"

namespace {

[[noreturn]] void finding(const char* what, std::string_view text) {
  std::fprintf(stderr, "finding: %s: \"%.*s\"\n", what, int(text.size()), text.data());
  std::abort();
}

bool exists_by_length(const String& path) {
  // Files exist at every third length, so that many split points are tried.
  return path.length() % 3 == 1;
}

// The command the run record's text makes under the target directory.
void check_setup_command(std::string_view text, std::string_view target) {
  String target_directory(target.data(), int32_t(target.size()));
  String command_text(text.data(), int32_t(text.size()));
  String built = build_setup_command(command_text, target_directory);
  std::string expected;
  if (!text.empty()) {
    std::string body(text);
    size_t at = body.find("%path%");
    if (at != std::string::npos)
      body.replace(at, 6, target);
    expected = std::string(target) + body;
  }
  if (std::string_view(built.c_str(), size_t(built.length())) != expected)
    finding("the setup command is built wrong", text);
  char command[setup_command_size];
  Verdict verdict = set_setup_command(command_text, target_directory, command);
  if ((verdict == Verdict::command_too_long) != (expected.size() > 255) ||
      (verdict == Verdict::ok && std::string(command) != expected.substr(0, expected.find('\0'))))
    finding("the 255-byte rule is broken", text);
  if (verdict != Verdict::ok || command[0] == '\0')
    return;
  String whole(command);
  LaunchCommand split = split_launch_command(whole, target_directory.length(), exists_by_length);
  std::string program(split.program.c_str(), size_t(split.program.length()));
  std::string all(command);
  size_t start = all.find_first_not_of(" \t");
  if (start == std::string::npos || all[start] == '"')
    return; // a quoted program is the quoted text
  if (all.compare(start, program.size(), program) != 0)
    finding("the program is not the command's start", all);
  if (start + program.size() < std::min(target.size(), all.size()))
    finding("the program ends inside the target directory", all);
  std::string parameters(split.parameters.c_str(), size_t(split.parameters.length()));
  size_t rest = all.find_first_not_of(" \t", start + program.size());
  if (parameters != (rest == std::string::npos ? "" : all.substr(rest)))
    finding("the parameters are not the rest of the command", all);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 600)
    return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // A target directory up to the first NUL, then the command text.
  size_t cut = input.find('\0');
  if (cut == std::string_view::npos || cut > 255)
    return 0;
  std::string target(input.substr(0, cut));
  if (target.empty() || target.back() != '\\')
    target += '\\';
  std::string_view text = input.substr(cut + 1);
  if (text.size() > 255 || text.find('\0') != std::string_view::npos)
    return 0;
  check_setup_command(text, target);
  return 0;
}
