// The engines of a build that has ISA-L's: zlib's, the reference, ISA-L's
// streaming alone, and the build's own (libdeflate's for what fits).
#include "support/inflate/inflate_stream.h"

const InflateEngine inflate_engines[] = {
    {"zlib", zlib_inflate_stream}, {"ISA-L", isal_inflate_stream}, {"the build's", inflate_stream}};
const int32_t inflate_engine_count = 3;
