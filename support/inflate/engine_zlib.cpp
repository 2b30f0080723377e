// The build's engine where it is zlib's (the i686 stub).
#include "support/inflate/inflate_stream.h"

InflateOutcome inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work) {
  return zlib_inflate_stream(stored_size, pipes, work);
}
