// Fuzzes both systems' name rules in memory, and whether a name names a
// file, against a model written from the systems' own behaviour (what
// each makes of a name), not against the rules themselves.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "package/name_check.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 300)
    return 0;
  // A stored name is a field's text: it ends at the first NUL.
  std::string_view name(reinterpret_cast<const char*>(data), size);
  check_names(name.substr(0, name.find('\0')));
  return 0;
}
