// The check of stored names against the target directory and devices.
#include "package/name_check.h"

#include "support/base/code_page.h"

namespace {

// The rules of the system the name is written on.
enum class NameRules { windows, posix };

char upper(char byte) {
  return byte >= 'a' && byte <= 'z' ? char(byte - 0x20) : byte;
}

bool is_dot_component(const char* component, int32_t length) {
  int32_t dots = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (component[i] == '.')
      ++dots;
    else if (component[i] != ' ')
      return false;
  }
  return dots >= 2;
}

bool same_letters(const char* text, const char* upper_case, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    if (upper(text[i]) != upper_case[i])
      return false;
  return true;
}

// The system reads "con.txt" and "CON " as the device CON.
bool is_device_component(const char* component, int32_t length) {
  int32_t base = 0;
  while (base < length && component[base] != '.')
    ++base;
  while (base > 0 && component[base - 1] == ' ')
    --base;
  if (base == 6 || base == 7)
    return same_letters(component, base == 6 ? "CONIN$" : "CONOUT$", base);
  if (base != 3 && base != 4)
    return false;
  // Three-letter devices, then the numbered ones: COM and LPT with a digit
  // or a superscript one, two or three (bytes B9, B2, B3).
  static constexpr char devices[] = "CONPRNAUXNULCOMLPT";
  for (int32_t i = 0; i < 18; i += 3) {
    if (!same_letters(component, devices + i, 3))
      continue;
    if (i < 12)
      return base == 3;
    uint8_t number = static_cast<uint8_t>(component[3]);
    return base == 4 &&
           ((number >= '0' && number <= '9') || number == 0xB9 || number == 0xB2 || number == 0xB3);
  }
  return false;
}

bool is_separator(char byte) {
  return byte == '\\' || byte == '/';
}

template <NameRules rules> bool is_unsafe_component(const char* component, int32_t length) {
  if (rules == NameRules::posix)
    return length == 2 && component[0] == '.' && component[1] == '.';
  return is_dot_component(component, length) || is_device_component(component, length);
}

template <NameRules rules> bool check_name(const char* text, int32_t length) {
  if (length > 0 && is_separator(text[0]))
    return false;
  // A drive prefix: a letter and a colon, alone or before a separator.
  if (rules == NameRules::posix && length >= 2 && text[1] == ':' &&
      (length == 2 || is_separator(text[2])) &&
      ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')))
    return false;
  int32_t start = 0;
  for (int32_t i = 0; i <= length; i = i < length ? next_character(text, length, i) : i + 1) {
    if (i < length && text[i] == ':' && rules == NameRules::windows)
      return false;
    if (i == length || is_separator(text[i])) {
      if (is_unsafe_component<rules>(text + start, i - start))
        return false;
      start = i + 1;
    }
  }
  return true;
}

} // namespace

bool names_a_file(const char* name, int32_t length) {
  int32_t start = 0;
  for (int32_t i = 0; i < length; i = next_character(name, length, i))
    if (is_separator(name[i]))
      start = i + 1;
  return length > start && !(length - start == 1 && name[start] == '.');
}

bool is_safe_windows_name(const char* text, int32_t length) {
  return check_name<NameRules::windows>(text, length);
}

bool is_safe_posix_name(const char* text, int32_t length) {
  return check_name<NameRules::posix>(text, length);
}
