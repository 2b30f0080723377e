// The check of stored names against the target directory and devices.
#include "package/name_check.h"

namespace {

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

// The system reads "con.txt" and "CON " as the device CON.
bool is_device_component(const char* component, int32_t length) {
  int32_t base = 0;
  while (base < length && component[base] != '.')
    ++base;
  while (base > 0 && component[base - 1] == ' ')
    --base;
  if (base != 3 && base != 4)
    return false;
  char name[4];
  for (int32_t i = 0; i < base; ++i)
    name[i] = upper(component[i]);
  // Three-letter devices, then the numbered ones (COM1-9, LPT1-9).
  static constexpr char devices[] = "CONPRNAUXNULCOMLPT";
  for (int32_t i = 0; i < 18; i += 3) {
    if (name[0] != devices[i] || name[1] != devices[i + 1] || name[2] != devices[i + 2])
      continue;
    bool numbered = i >= 12;
    return numbered ? base == 4 && name[3] >= '1' && name[3] <= '9' : base == 3;
  }
  return false;
}

} // namespace

bool is_safe_name(const char* text, int32_t length) {
  if (length > 0 && (text[0] == '\\' || text[0] == '/'))
    return false;
  int32_t start = 0;
  for (int32_t i = 0; i <= length; ++i) {
    if (i < length && text[i] == ':')
      return false;
    if (i == length || text[i] == '\\' || text[i] == '/') {
      if (is_dot_component(text + start, i - start) || is_device_component(text + start, i - start))
        return false;
      start = i + 1;
    }
  }
  return true;
}
