// The build's engine where it is ISA-L's (the 64-bit builds).
#include "support/inflate/inflate_stream.h"

const char inflate_engine_name[] = "ISA-L";

InflateOutcome inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work) {
  return isal_inflate_stream(stored_size, pipes, work);
}
