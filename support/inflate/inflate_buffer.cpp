// The output grows by a fixed step, the input size rounded up to 256 bytes,
// and is trimmed to the inflated size at the end. Growing is cheap because
// the heap keeps large blocks in reserved address space.
#include "support/inflate/inflate_buffer.h"

#include <zlib.h>

#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/c_string.h"

namespace {

voidpf allocate_for_zlib(voidpf, uInt items, uInt size) {
  // A 32-bit product, as zlib's own requests are small.
  return heap_allocate(static_cast<int32_t>(items * size));
}

void release_for_zlib(voidpf, voidpf block) {
  heap_release(block);
}

// A capacity of 2^31 or more cannot be held in a signed size: it ends as
// heap exhaustion rather than reaching the heap.
[[gnu::noinline]] int32_t checked_capacity(int64_t capacity) {
  if (capacity > INT32_MAX)
    run_time_error(203, __builtin_return_address(0));
  return static_cast<int32_t>(capacity);
}

void fail(void** output, int32_t* output_size) {
  heap_release(*output);
  *output = nullptr;
  *output_size = -1;
}

} // namespace

void inflate_buffer(const void* input, int32_t input_size, int32_t size_estimate, void** output,
                    int32_t* output_size) {
  z_stream stream;
  fill_bytes(&stream, 0, sizeof stream);
  stream.zalloc = allocate_for_zlib;
  stream.zfree = release_for_zlib;

  int32_t step = checked_capacity((int64_t(input_size > 0 ? input_size : 0) + 255) & ~int64_t(255));
  int32_t capacity = size_estimate != 0 ? size_estimate : step;
  *output = heap_allocate(capacity);

  stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream.avail_in = static_cast<uInt>(input_size > 0 ? input_size : 0);
  stream.next_out = static_cast<Bytef*>(*output);
  stream.avail_out = static_cast<uInt>(capacity);

  bool inflated = inflateInit_(&stream, ZLIB_VERSION, static_cast<int>(sizeof stream)) >= 0;
  if (inflated) {
    for (;;) {
      uInt in_before = stream.avail_in;
      uInt out_before = stream.avail_out;
      int result = inflate(&stream, Z_FINISH);
      if (result == Z_STREAM_END) {
        // Stored bytes behind the end of the stream mean a damaged size:
        // they would belong to the next record.
        inflated = stream.avail_in == 0;
        break;
      }
      // Z_OK, or Z_BUF_ERROR after progress: the output room ran out. Any
      // other result, or no room to add, is a failure.
      bool progressed = stream.avail_in != in_before || stream.avail_out != out_before;
      if ((result != Z_OK && !(result == Z_BUF_ERROR && progressed)) || step == 0) {
        inflated = false;
        break;
      }
      // Add one growth step and point zlib at the same offset inside the
      // resized block.
      size_t written = static_cast<size_t>(stream.next_out - static_cast<Bytef*>(*output));
      capacity = checked_capacity(int64_t(capacity) + step);
      heap_resize(output, capacity);
      stream.next_out = static_cast<Bytef*>(*output) + written;
      stream.avail_out = static_cast<uInt>(step);
    }
    inflated = inflateEnd(&stream) >= 0 && inflated;
  }
  if (!inflated) {
    fail(output, output_size);
    return;
  }
  int32_t total = static_cast<int32_t>(stream.total_out);
  heap_resize(output, total);
  *output_size = total;
}
