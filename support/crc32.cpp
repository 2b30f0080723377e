// Four bits at a time from a 16-entry table: small enough for the stub and
// fast enough for the few dozen kilobytes it checks.
#include "support/crc32.h"

uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count) {
  static constexpr uint32_t table[16] = {0x00000000, 0x1DB71064, 0x3B6E20C8, 0x26D930AC,
                                         0x76DC4190, 0x6B6B51F4, 0x4DB26158, 0x5005713C,
                                         0xEDB88320, 0xF00F9344, 0xD6D6A3E8, 0xCB61B38C,
                                         0x9B64C2B0, 0x86D3D2D4, 0xA00AE278, 0xBDBDF21C};
  crc = ~crc;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    crc = (crc >> 4) ^ table[crc & 15];
    crc = (crc >> 4) ^ table[crc & 15];
  }
  return ~crc;
}
