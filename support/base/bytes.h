// The bottom of the code: little-endian fields and the few memory routines
// the stub uses, shared by every layer above.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t load_u32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

inline uint16_t load_u16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline void store_u32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void copy_bytes(void* destination, const void* source, size_t count);
void fill_bytes(void* destination, uint8_t value, size_t count);
bool same_bytes(const void* left, const void* right, size_t count);
