// Adler-32 sixteen bytes at a time with SSE2, which every x86-64 processor
// has. Over a run of n bytes starting from sums a and b:
//   a' = a + sum(x[i])
//   b' = b + n*a + sum((n - i) * x[i])
// Per 16-byte chunk the weights split into 16 times the number of chunks
// still to come (kept as a running total of the chunk sums) plus 16..1
// within the chunk (a multiply-add of the bytes widened to 16 bits).
#include <emmintrin.h>

#include "support/inflate/adler32.h"

namespace {

uint64_t sum_lanes_64(__m128i v) {
  return uint64_t(_mm_cvtsi128_si64(v)) + uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

uint64_t sum_lanes_32(__m128i v) {
  alignas(16) uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
  return uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
}

} // namespace

uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t count) {
  using namespace adler32_detail;
  if (!bytes)
    return 1;
  uint64_t a = adler & 0xFFFF;
  uint64_t b = adler >> 16;
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights_low = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weights_high = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  while (count >= 16) {
    size_t run = (count < run_limit ? count : run_limit) & ~size_t(15);
    count -= run;
    b += a * run;
    __m128i chunk_sums = zero;   // sums of the chunks so far, in 64-bit lanes
    __m128i earlier_sums = zero; // running total of chunk_sums before each chunk
    __m128i weighted = zero;     // 16..1 weighted bytes, in 32-bit lanes
    for (size_t done = 0; done < run; done += 16) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + done));
      earlier_sums = _mm_add_epi64(earlier_sums, chunk_sums);
      chunk_sums = _mm_add_epi64(chunk_sums, _mm_sad_epu8(x, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), weights_low));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), weights_high));
    }
    bytes += run;
    a += sum_lanes_64(chunk_sums);
    b += 16 * sum_lanes_64(earlier_sums) + sum_lanes_32(weighted);
    a %= modulus;
    b %= modulus;
  }
  while (count-- > 0) {
    a += *bytes++;
    b += a;
  }
  return uint32_t((b % modulus) << 16 | (a % modulus));
}
