// CRC-32 twice: a bit at a time without a table, for the stub's own few
// dozen kilobytes (well under a millisecond), and from tables for a package.
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

namespace {

constexpr bool wide_steps = sizeof(void*) >= 8;
uint32_t tables[wide_steps ? 8 : 1][256];
bool tables_made = false;

void make_tables() {
  for (uint32_t value = 0; value < 256; ++value) {
    uint32_t crc = value;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    tables[0][value] = crc;
  }
  if constexpr (wide_steps)
    for (int table = 1; table < 8; ++table)
      for (int value = 0; value < 256; ++value)
        tables[table][value] =
            (tables[table - 1][value] >> 8) ^ tables[0][tables[table - 1][value] & 0xFF];
  tables_made = true;
}

} // namespace

uint32_t crc32_fast_update(uint32_t crc, const uint8_t* bytes, size_t count) {
  if (!tables_made)
    make_tables();
  crc = ~crc;
  if constexpr (wide_steps) {
    for (; count >= 8; count -= 8, bytes += 8) {
      uint32_t low = crc ^ (uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                            uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
      uint32_t high = uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 | uint32_t(bytes[6]) << 16 |
                      uint32_t(bytes[7]) << 24;
      crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
            tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
            tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
    }
  }
  for (; count > 0; --count, ++bytes)
    crc = (crc >> 8) ^ tables[0][(crc ^ *bytes) & 0xFF];
  return ~crc;
}
