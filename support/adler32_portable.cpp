// Adler-32 for the Windows stubs' inflate-only zlib: a plain loop in place
// of zlib's unrolled one, which costs more bytes than the stub can spare.
// inflate calls it to check every stream's content.
#include <zlib.h>

extern "C" uLong adler32(uLong adler, const Bytef* bytes, uInt count) {
  constexpr uLong modulus = 65521;
  // The most bytes before the sums must be reduced to stay within 32 bits.
  constexpr uInt run_limit = 5552;
  if (!bytes)
    return 1;
  uLong a = adler & 0xFFFF;
  uLong b = (adler >> 16) & 0xFFFF;
  while (count > 0) {
    uInt run = count < run_limit ? count : run_limit;
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
