// zlib's inflate checks every stream with adler32(); the stubs link this
// definition ahead of zlib's own, so inflate uses the build's chosen one.
#include <zlib.h>

#include "support/inflate/adler32.h"

extern "C" uLong adler32(uLong adler, const Bytef* bytes, uInt count) {
  return adler32_update(static_cast<uint32_t>(adler), bytes, count);
}
