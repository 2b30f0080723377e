// Adler-32 as a plain loop: the fewest bytes of code, for the 32-bit stub.
#include "support/inflate/adler32.h"

uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t count) {
  using namespace adler32_detail;
  if (!bytes)
    return 1;
  uint32_t a = adler & 0xFFFF;
  uint32_t b = adler >> 16;
  while (count > 0) {
    size_t run = count < run_limit ? count : run_limit;
    count -= run;
    do {
      a += *bytes++;
      b += a;
    } while (--run);
    a %= modulus;
    b %= modulus;
  }
  return (b << 16) | a;
}
