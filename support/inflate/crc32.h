// CRC-32 (the polynomial of zip and PNG), used to seal the stub.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over `count` bytes.
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count);
