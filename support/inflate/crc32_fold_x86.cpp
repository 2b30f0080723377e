// CRC-32 by carry-less multiplication (PCLMULQDQ and SSE4.1), 64 bytes a
// step: the well-known folding of four 128-bit lanes by x^(512±64) mod P,
// then one lane, then Barrett's reduction to 32 bits.
#include "support/inflate/crc32_fold.h"

#include <cpuid.h>
#include <immintrin.h>

namespace {

[[gnu::target("pclmul,sse4.1")]] __m128i load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One 128-bit lane carried past the next 16 bytes and added to them.
[[gnu::target("pclmul,sse4.1")]] __m128i fold(__m128i lane, __m128i next, __m128i constants) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x11), next),
                       _mm_clmulepi64_si128(lane, constants, 0x00));
}

} // namespace

[[gnu::target("pclmul,sse4.1")]] uint32_t crc32_folded(uint32_t crc, const uint8_t* bytes,
                                                       size_t count) {
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
bool crc32_can_fold() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & (1u << 1)) && (ecx & (1u << 19));
}
