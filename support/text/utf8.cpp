// A strict UTF-8 decoder.
#include "support/text/utf8.h"

int32_t utf8_sequence(const char* text, int32_t length, uint32_t* code) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
  if (length <= 0)
    return 0;
  uint32_t lead = bytes[0];
  int32_t more = lead < 0x80   ? 0
                 : lead < 0xC2 ? -1
                 : lead < 0xE0 ? 1
                 : lead < 0xF0 ? 2
                 : lead < 0xF5 ? 3
                               : -1;
  if (more < 0 || more >= length)
    return 0;
  uint32_t value = more == 0 ? lead : lead & (0x3F >> more);
  for (int32_t k = 1; k <= more; ++k) {
    if ((bytes[k] & 0xC0) != 0x80)
      return 0;
    value = value << 6 | (bytes[k] & 0x3F);
  }
  // The shortest form only; no surrogates; nothing past U+10FFFF.
  static constexpr uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
  if (value < smallest[more] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
    return 0;
  *code = value;
  return more + 1;
}

int32_t utf16_from_utf8(const char* text, int32_t length, uint16_t* wide, int32_t capacity) {
  int32_t count = 0;
  for (int32_t i = 0; i < length;) {
    uint32_t code;
    int32_t used = utf8_sequence(text + i, length - i, &code);
    if (used == 0)
      return -1;
    i += used;
    int32_t units = code >= 0x10000 ? 2 : 1;
    if (count + units > capacity)
      return -1;
    if (units == 2) {
      wide[count++] = uint16_t(0xD800 + ((code - 0x10000) >> 10));
      wide[count++] = uint16_t(0xDC00 + (code & 0x3FF));
    } else {
      wide[count++] = uint16_t(code);
    }
  }
  return count;
}
