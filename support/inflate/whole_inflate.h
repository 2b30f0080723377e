// Inflating a whole stream held in memory at once, with the build's fast
// engine (libdeflate's decompressor) where it has one. Most files fit its
// fixed buffer; a file that does not is streamed through `inflate_stream`,
// which reaches the same verdict on every stream.
#pragma once

#include <cstdint>

enum class WholeInflate : uint8_t {
  inflated,
  does_not_fit, // the content is larger than the buffer: stream it instead
  damaged,      // what inflate_stream refuses, refused here too
};

// The most stored bytes taken whole and the size of the output buffer; 0
// where the build has no fast engine (the i686 stub, for size).
extern const int32_t whole_inflate_size;

// Inflates the `size` stored bytes at `stream` into `output`, which holds
// `whole_inflate_size` bytes: a stream that needs a preset dictionary,
// ends before its stored bytes do, or does not end within them is damaged;
// so is a stored size of 0.
WholeInflate inflate_whole(const uint8_t* stream, uint32_t size, uint8_t* output,
                           int32_t* produced);
