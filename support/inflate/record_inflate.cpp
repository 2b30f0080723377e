// The record inflater: one work area for every record of a package.
#include "support/inflate/record_inflate.h"

#include "support/runtime/heap.h"

void reserve_inflater(RecordInflater& inflater) {
  if (!inflater.work)
    inflater.work = static_cast<uint8_t*>(heap_allocate(inflate_work_size));
}

InflateOutcome inflate_record(RecordInflater& inflater, uint32_t size, const InflatePipes& pipes) {
  return inflate_stream(size, pipes, inflater.work);
}

void release_inflater(RecordInflater& inflater) {
  heap_release(inflater.work);
  inflater = RecordInflater();
}
