// zlib's inflate over fixed buffers: the engine of the i686 stub, and the
// reference the 64-bit engine is held to in the tests.
#include "support/inflate/inflate_stream.h"
#include "support/inflate/stream_blocks.h"

#include <zlib.h>

#include "support/base/bytes.h"

namespace {

// zlib's requests are served from the work area's room in turn: its state
// and a window of at most 32 KiB take some 40 KiB. A request past the room
// cannot be served (inflate then fails), so the loop needs no heap and the
// packaging tool runs the very same code.
struct Room {
  uint8_t* start;
  uint8_t* next;
};

voidpf allocate_for_zlib(voidpf opaque, uInt items, uInt size) {
  Room& room = *static_cast<Room*>(opaque);
  // A 32-bit product, as zlib's own requests are small.
  uint32_t bytes = (items * size + 15) & ~15u;
  if (bytes > uint32_t(room.start + inflate_state_size - room.next))
    return nullptr;
  uint8_t* block = room.next;
  room.next += bytes;
  return block;
}

void release_for_zlib(voidpf, voidpf) {}

// Runs inflate until the stream ends or something fails.
[[gnu::noinline]] InflateOutcome run(z_stream& stream, uint32_t stored_size,
                                     const InflatePipes& pipes, uint8_t* input, uint8_t* output) {
  StreamBlocks blocks{pipes, stored_size};
  for (;;) {
    if (stream.avail_in == 0 && blocks.unread != 0) {
      int32_t got = blocks.read(input);
      if (got < 0)
        return InflateOutcome::read_failed;
      stream.next_in = input;
      stream.avail_in = uInt(got);
    }
    uInt in_before = stream.avail_in;
    stream.next_out = output;
    stream.avail_out = uInt(inflate_output_size);
    int result = inflate(&stream, Z_FINISH);
    int32_t produced = inflate_output_size - int32_t(stream.avail_out);
    if (InflateOutcome handed = blocks.write(output, produced); handed != InflateOutcome::inflated)
      return handed;
    if (result == Z_STREAM_END)
      // Stored bytes behind the end of the stream mean a damaged size:
      // they would belong to the next record.
      return stream.avail_in == 0 && blocks.unread == 0 ? InflateOutcome::inflated
                                                        : InflateOutcome::damaged;
    // Z_OK goes on; so does a buffer error while input is left to read.
    // Anything else, or no progress with nothing left, is damage.
    bool stalled = produced == 0 && stream.avail_in == in_before;
    if ((result != Z_OK && result != Z_BUF_ERROR) ||
        (stalled && (stream.avail_in != 0 || blocks.unread == 0)))
      return InflateOutcome::damaged;
  }
}

} // namespace

InflateOutcome zlib_inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work) {
  uint8_t* input = work;
  uint8_t* output = work + inflate_input_size;
  Room room{output + inflate_output_size, output + inflate_output_size};
  z_stream stream;
  fill_bytes(&stream, 0, sizeof stream);
  stream.zalloc = allocate_for_zlib;
  stream.zfree = release_for_zlib;
  stream.opaque = &room;
  if (inflateInit_(&stream, ZLIB_VERSION, static_cast<int>(sizeof stream)) != Z_OK)
    return InflateOutcome::damaged;
  InflateOutcome outcome = run(stream, stored_size, pipes, input, output);
  inflateEnd(&stream);
  return outcome;
}
