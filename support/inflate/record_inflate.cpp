// The record inflater: the fast engine for what fits, zlib for the rest.
#include "support/inflate/record_inflate.h"

#include "support/inflate/whole_inflate.h"
#include "support/runtime/heap.h"

namespace {

bool fits_whole(uint32_t size) {
  return size != 0 && size <= uint32_t(whole_inflate_size);
}

} // namespace

void reserve_inflater(RecordInflater& inflater, uint32_t size) {
  if (!inflater.work)
    inflater.work = static_cast<uint8_t*>(heap_allocate(inflate_work_size));
  if (!inflater.whole_input && fits_whole(size)) {
    inflater.whole_input = static_cast<uint8_t*>(heap_allocate(whole_inflate_size));
    inflater.whole_output = static_cast<uint8_t*>(heap_allocate(whole_inflate_size));
  }
}

InflateOutcome inflate_record(RecordInflater& inflater, uint32_t size, const RecordPipes& pipes) {
  if (inflater.whole_input && fits_whole(size)) {
    if (pipes.read(pipes.context, inflater.whole_input, int32_t(size)) != int32_t(size))
      return InflateOutcome::read_failed;
    int32_t produced = 0;
    WholeInflate whole =
        inflate_whole(inflater.whole_input, size, inflater.whole_output, &produced);
    if (whole == WholeInflate::damaged)
      return InflateOutcome::damaged;
    if (whole == WholeInflate::inflated)
      return produced == 0 || pipes.write(pipes.context, inflater.whole_output, produced)
                 ? InflateOutcome::inflated
                 : InflateOutcome::write_failed;
    if (!pipes.back(pipes.context, size))
      return InflateOutcome::read_failed;
  }
  return inflate_stream(size, InflatePipes{pipes.context, pipes.read, pipes.write}, inflater.work);
}

void release_inflater(RecordInflater& inflater) {
  heap_release(inflater.work);
  heap_release(inflater.whole_input);
  heap_release(inflater.whole_output);
  inflater = RecordInflater();
}
