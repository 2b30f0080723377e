// ISA-L's inflate over fixed buffers: the streaming engine of the 64-bit builds. Its
// state (with the window) lives in the work area's room, so a stream takes
// no memory once it has begun. ISA-L leaves the two header bytes half
// checked (it takes any window size and stops at a preset dictionary to ask
// for it), so they are checked here exactly as zlib checks them and the
// engine starts behind them; it checks the Adler-32 at the end itself.
#include "support/inflate/inflate_stream.h"
#include "support/inflate/stream_blocks.h"

#include <cstddef>
#include <igzip_lib.h>

static_assert(sizeof(inflate_state) <= size_t(inflate_state_size),
              "ISA-L's state must fit the work area's room");

namespace {

constexpr int32_t header_size = 2;

// zlib's own test of the two header bytes: deflate (method 8), a window of
// at most 32 KiB, a check that makes them a multiple of 31, and no preset
// dictionary (a record has none to give).
bool header_sound(uint8_t cmf, uint8_t flags) {
  return (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256u + flags) % 31 == 0 &&
         (flags & 0x20) == 0;
}

// Bytes the engine has taken but not used: what is still to be read and
// whole bytes left in its bit buffer. Behind the end of a stream they
// would belong to the next record.
uint32_t unused(const inflate_state& state) {
  return state.avail_in + state.read_in_length / 8;
}

[[gnu::noinline]] InflateOutcome run(inflate_state& state, uint32_t unread,
                                     const InflatePipes& pipes, uint8_t* input, uint8_t* output) {
  StreamBlocks blocks{pipes, unread};
  bool header_seen = false;
  for (;;) {
    if (state.avail_in == 0 && blocks.unread != 0) {
      int32_t got = blocks.read(input);
      if (got < 0)
        return InflateOutcome::read_failed;
      state.next_in = input;
      state.avail_in = uint32_t(got);
    }
    if (!header_seen) {
      // The first block holds both bytes unless the stream is shorter.
      if (state.avail_in < uint32_t(header_size) || !header_sound(input[0], input[1]))
        return InflateOutcome::damaged;
      state.next_in += header_size;
      state.avail_in -= header_size;
      header_seen = true;
    }
    uint32_t in_before = state.avail_in;
    state.next_out = output;
    state.avail_out = uint32_t(inflate_output_size);
    int result = isal_inflate(&state);
    int32_t produced = inflate_output_size - int32_t(state.avail_out);
    if (InflateOutcome handed = blocks.write(output, produced); handed != InflateOutcome::inflated)
      return handed;
    if (result != ISAL_DECOMP_OK)
      return InflateOutcome::damaged;
    if (state.block_state == ISAL_BLOCK_FINISH)
      return unused(state) == 0 && blocks.unread == 0 ? InflateOutcome::inflated
                                                      : InflateOutcome::damaged;
    // Short of the end, a call that leaves room in the output has used all
    // the input it was given: with nothing left to read, the stream is cut
    // short; a call that moved nothing at all cannot go on either.
    bool room_left = produced < inflate_output_size;
    bool stalled = produced == 0 && state.avail_in == in_before;
    if ((room_left && state.avail_in == 0 && blocks.unread == 0) ||
        (stalled && state.avail_in != 0))
      return InflateOutcome::damaged;
  }
}

} // namespace

InflateOutcome isal_inflate_stream_from(uint32_t stored_size, int32_t already_read,
                                        const InflatePipes& pipes, uint8_t* work) {
  uint8_t* input = work;
  uint8_t* output = work + inflate_input_size;
  auto& state = *reinterpret_cast<inflate_state*>(output + inflate_output_size);
  isal_inflate_init(&state);
  // The trailer's Adler-32 is checked, the header was checked above.
  state.crc_flag = ISAL_ZLIB_NO_HDR_VER;
  state.next_in = input;
  state.avail_in = uint32_t(already_read);
  return run(state, stored_size - uint32_t(already_read), pipes, input, output);
}

InflateOutcome isal_inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work) {
  return isal_inflate_stream_from(stored_size, 0, pipes, work);
}
