// CRC-32 twice: a bit at a time without a table, for the stub's own few
// dozen kilobytes (well under a millisecond), and from tables for a package.
#include "support/inflate/crc32.h"
#include "support/base/bytes.h"
#include "support/inflate/crc32_fold.h"

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
uint32_t tables[wide_steps ? 16 : 1][256];
bool tables_made = false;

void make_tables() {
  for (uint32_t value = 0; value < 256; ++value) {
    uint32_t crc = value;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    tables[0][value] = crc;
  }
  if constexpr (wide_steps)
    for (int table = 1; table < 16; ++table)
      for (int value = 0; value < 256; ++value)
        tables[table][value] =
            (tables[table - 1][value] >> 8) ^ tables[0][tables[table - 1][value] & 0xFF];
  tables_made = true;
}

// Sixteen bytes a step: each byte's table carries it past the bytes that
// follow it in the step.
uint32_t sixteen_bytes(uint32_t crc, const uint8_t* bytes) {
  uint32_t a = crc ^ load_u32(bytes), b = load_u32(bytes + 4), c = load_u32(bytes + 8),
           d = load_u32(bytes + 12);
  return tables[15][a & 0xFF] ^ tables[14][(a >> 8) & 0xFF] ^ tables[13][(a >> 16) & 0xFF] ^
         tables[12][a >> 24] ^ tables[11][b & 0xFF] ^ tables[10][(b >> 8) & 0xFF] ^
         tables[9][(b >> 16) & 0xFF] ^ tables[8][b >> 24] ^ tables[7][c & 0xFF] ^
         tables[6][(c >> 8) & 0xFF] ^ tables[5][(c >> 16) & 0xFF] ^ tables[4][c >> 24] ^
         tables[3][d & 0xFF] ^ tables[2][(d >> 8) & 0xFF] ^ tables[1][(d >> 16) & 0xFF] ^
         tables[0][d >> 24];
}

} // namespace

uint32_t crc32_fast_update(uint32_t crc, const uint8_t* bytes, size_t count) {
  static bool folding = false;
  if (!tables_made) {
    make_tables();
    if constexpr (wide_steps)
      folding = crc32_can_fold();
  }
  crc = ~crc;
  if constexpr (wide_steps) {
    if (folding && count >= 64) {
      size_t whole = count & ~size_t(15);
      crc = crc32_folded(crc, bytes, whole);
      bytes += whole;
      count -= whole;
    }
    for (; count >= 16; count -= 16, bytes += 16)
      crc = sixteen_bytes(crc, bytes);
  }
  for (; count > 0; --count, ++bytes)
    crc = (crc >> 8) ^ tables[0][(crc ^ *bytes) & 0xFF];
  return ~crc;
}
