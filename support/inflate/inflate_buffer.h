// Inflating one whole zlib stream held in memory into a new heap block.
#pragma once

#include <cstdint>

// Inflates `input_size` bytes at `input`. On success `*output_size` is the
// inflated size (0 or more) and `*output` a heap block of exactly that size
// (null for 0), owned by the caller. On any failure `*output_size` is -1 and
// nothing is left allocated. `size_estimate` is the first capacity; 0 takes
// the growth step, the input size rounded up to a multiple of 256.
void inflate_buffer(const void* input, int32_t input_size, int32_t size_estimate, void** output,
                    int32_t* output_size);
