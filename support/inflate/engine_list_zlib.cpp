// The engines of a build that has zlib's alone.
#include "support/inflate/inflate_stream.h"

const InflateEngine inflate_engines[] = {{"zlib", zlib_inflate_stream}};
const int32_t inflate_engine_count = 1;
