// CRC-32 (the polynomial of zip and PNG), used to seal the stub.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over `count` bytes, a bit at a time: for the
// stub's few dozen kilobytes of its own.
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count);

// The same CRC over a whole package: from tables made at the first call,
// sixteen bytes a step on 64-bit targets, one on 32-bit ones (smaller code).
uint32_t crc32_fast_update(uint32_t crc, const uint8_t* bytes, size_t count);
