// Adler-32, the check of every zlib stream. The stubs hand zlib's inflate
// this implementation (support/inflate/zlib_checksum.cpp); the build picks the
// portable loop or the SSE2 one by target.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `adler` (1 to start) over `count` bytes; a null `bytes` gives 1.
uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t count);

namespace adler32_detail {
inline constexpr uint32_t modulus = 65521;
// The most bytes whose sums stay within 32 bits before they must be reduced.
inline constexpr size_t run_limit = 5552;
} // namespace adler32_detail
