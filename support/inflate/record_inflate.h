// Inflating one record's stream, whatever its size, streamed through the
// build's engine. The inflater owns the work area; its caller only says
// where the stored bytes come from and where the inflated bytes go.
#pragma once

#include <cstdint>

#include "support/inflate/inflate_stream.h"

// The work area, taken from the heap at the first stream and kept until
// `release_inflater`.
struct RecordInflater {
  uint8_t* work = nullptr;
};

// Takes the work area. Called before anything is created for the record:
// running out of memory ends the process, which must leave nothing half
// made behind.
void reserve_inflater(RecordInflater& inflater);

// Inflates the stream of `size` stored bytes in the work area
// `reserve_inflater` took; content reaching 2^31 bytes is `too_large`.
InflateOutcome inflate_record(RecordInflater& inflater, uint32_t size, const InflatePipes& pipes);

void release_inflater(RecordInflater& inflater);
