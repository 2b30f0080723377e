// Fuzzes the stub's pure text rules in memory: both systems' name rules,
// whether a name names a file, and the setup command's build and launch
// split. Each is checked against a model written from the systems' own
// behaviour, not against itself.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "extract/setup_command.h"
#include "package/name_check.h"
#include "support/text/launch_command.h"

namespace {

[[noreturn]] void finding(const char* what, std::string_view text) {
  std::fprintf(stderr, "finding: %s: \"%.*s\"\n", what, int(text.size()), text.data());
  std::abort();
}

bool separator(char c) {
  return c == '\\' || c == '/';
}

std::vector<std::string> components(std::string_view name) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (separator(c))
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z')
      c = char(c - 32);
  return text;
}

// What Windows makes of a component: trailing dots and blanks dropped;
// a device when the part before the first dot, its trailing blanks
// dropped, is a device's name.
bool windows_device(std::string part) {
  while (!part.empty() && (part.back() == '.' || part.back() == ' '))
    part.pop_back();
  std::string base = upper(part.substr(0, part.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  static const std::vector<std::string> fixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const std::string& device : fixed)
    if (base == device)
      return true;
  if (base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
      base[3] >= '0' && base[3] <= '9')
    return true;
  // COM and LPT with a superscript one, two or three: the rules see names
  // in the ANSI code page (a UTF-8 package's are converted first).
  for (const char* digit : {"\xB9", "\xB2", "\xB3"})
    for (const char* stem : {"COM", "LPT"})
      if (base == std::string(stem) + digit)
        return true;
  return false;
}

bool windows_leaves_target(std::string_view name) {
  if (name.empty() || separator(name[0]) || name.find(':') != std::string_view::npos)
    return !name.empty();
  for (const std::string& part : components(name)) {
    size_t dots = 0;
    bool only = !part.empty();
    for (char c : part) {
      dots += c == '.';
      only = only && (c == '.' || c == ' ');
    }
    if (only && dots >= 2)
      return true;
  }
  return false;
}

bool posix_leaves_target(std::string_view name) {
  if (!name.empty() && separator(name[0]))
    return true;
  bool letter = !name.empty() && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z');
  if (letter && name.size() >= 2 && name[1] == ':' && (name.size() == 2 || separator(name[2])))
    return true;
  for (const std::string& part : components(name))
    if (part == "..")
      return true;
  return false;
}

void check_names(std::string_view name) {
  int32_t length = int32_t(name.size());
  bool windows = is_safe_windows_name(name.data(), length);
  bool posix = is_safe_posix_name(name.data(), length);
  if (windows) {
    if (windows_leaves_target(name))
      finding("the Windows rules accept a name that leaves the target", name);
    for (const std::string& part : components(name))
      if (windows_device(part))
        finding("the Windows rules accept a device", name);
    if (!posix)
      finding("the POSIX rules refuse a name the Windows rules accept", name);
  }
  if (posix && posix_leaves_target(name))
    finding("the POSIX rules accept a name that leaves the target", name);
  std::string last = components(name).back();
  if (names_a_file(name.data(), length) != (!last.empty() && last != "."))
    finding("names_a_file is wrong", name);
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
  // A stored name is a field's text: it ends at the first NUL.
  std::string_view name = input.substr(0, 300);
  check_names(name.substr(0, name.find('\0')));
  // The rest: a target directory up to the first NUL, then the command text.
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
