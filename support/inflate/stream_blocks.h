// The block traffic both streaming engines share: the stored bytes read in
// input blocks, never past the stream's stored size, and the inflated
// bytes handed on in output blocks, never to 2^31 in all.
#pragma once

#include <cstdint>

#include "support/inflate/inflate_stream.h"

struct StreamBlocks {
  const InflatePipes& pipes;
  uint32_t unread; // stored bytes not yet read
  int64_t total = 0;

  // Reads the next input block into `input`: its size, or -1.
  int32_t read(uint8_t* input) {
    int32_t wanted = unread < uint32_t(inflate_input_size) ? int32_t(unread) : inflate_input_size;
    if (pipes.read(pipes.context, input, wanted) != wanted)
      return -1;
    unread -= uint32_t(wanted);
    return wanted;
  }

  // Hands on `count` inflated bytes: `inflated` when they went.
  InflateOutcome write(const uint8_t* output, int32_t count) {
    total += count;
    if (total > INT32_MAX)
      return InflateOutcome::too_large;
    if (count > 0 && !pipes.write(pipes.context, output, count))
      return InflateOutcome::write_failed;
    return InflateOutcome::inflated;
  }
};
