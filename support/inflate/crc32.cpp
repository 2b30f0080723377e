// A bit at a time, without a table: the stub checks only its own few dozen
// kilobytes, which takes well under a millisecond this way.
#include "support/inflate/crc32.h"

uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count) {
  crc = ~crc;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}
