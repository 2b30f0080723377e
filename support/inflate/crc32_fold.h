// The CRC-32's folding step where the processor multiplies without carry;
// the build picks the x86 file or the one without (crc32_fold_*.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// Whether this processor can fold; asked once.
bool crc32_can_fold();

// Continues the running (inverted) `crc` over `count` bytes, at least 64
// and a multiple of 16. Only called where `crc32_can_fold` said so.
uint32_t crc32_folded(uint32_t crc, const uint8_t* bytes, size_t count);
