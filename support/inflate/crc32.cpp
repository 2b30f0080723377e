// CRC-32 twice: a bit at a time without a table, for the stub's own few
// dozen kilobytes (well under a millisecond), and from tables for a package.
#include "support/inflate/crc32.h"
#include "support/base/bytes.h"

#include <cpuid.h>
#include <immintrin.h>

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

// Carry-less multiplication folds 64 bytes a step where the processor
// has it (PCLMULQDQ and SSE4.1): the well-known folding of four 128-bit
// lanes by x^(512±64) mod P, then one lane, then Barrett's reduction to 32
// bits. `count` is at least 64 and a multiple of 16; `crc` is the running
// (inverted) value.
[[gnu::target("pclmul,sse4.1")]] __m128i load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One 128-bit lane carried past the next 16 bytes and added to them.
[[gnu::target("pclmul,sse4.1")]] __m128i fold(__m128i lane, __m128i next, __m128i constants) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x11), next),
                       _mm_clmulepi64_si128(lane, constants, 0x00));
}

[[gnu::target("pclmul,sse4.1")]] uint32_t folded(uint32_t crc, const uint8_t* bytes, size_t count) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  __m128i x1 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(int(crc)));
  __m128i x2 = load(bytes + 16), x3 = load(bytes + 32), x4 = load(bytes + 48);
  for (bytes += 64, count -= 64; count >= 64; bytes += 64, count -= 64) {
    x1 = fold(x1, load(bytes), k1k2);
    x2 = fold(x2, load(bytes + 16), k1k2);
    x3 = fold(x3, load(bytes + 32), k1k2);
    x4 = fold(x4, load(bytes + 48), k1k2);
  }
  x1 = fold(fold(fold(x1, x2, k3k4), x3, k3k4), x4, k3k4);
  for (; count >= 16; bytes += 16, count -= 16)
    x1 = fold(x1, load(bytes), k3k4);
  __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), k5, 0x00), x2);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), poly, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask), poly, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2), 1));
}

// CPUID leaf 1: ECX bit 1 is PCLMULQDQ, bit 19 SSE4.1.
bool can_fold() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & (1u << 1)) && (ecx & (1u << 19));
}

} // namespace

uint32_t crc32_fast_update(uint32_t crc, const uint8_t* bytes, size_t count) {
  static bool folding = false;
  if (!tables_made) {
    make_tables();
    if constexpr (wide_steps)
      folding = can_fold();
  }
  crc = ~crc;
  if constexpr (wide_steps) {
    if (folding && count >= 64) {
      size_t whole = count & ~size_t(15);
      crc = folded(crc, bytes, whole);
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
