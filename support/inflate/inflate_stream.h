// Inflating one zlib stream piece by piece through fixed buffers: the
// stored bytes are read in blocks and the inflated bytes handed on in
// blocks, so memory stays the same whatever the size of the file. Two
// engines reach one verdict on every stream: zlib's inflate (the i686 stub,
// for its size) and ISA-L's (the 64-bit builds, about twice as fast, with
// libdeflate's decompressor for files that fit the blocks whole).
#pragma once

#include <cstdint>

inline constexpr int32_t inflate_input_size = 64 << 10;
inline constexpr int32_t inflate_output_size = 256 << 10;
// Room for the engine's own state and window, so that a stream takes no
// memory once it has begun: ISA-L's state, with its window and look-ahead,
// takes some 86 KiB, zlib's some 40 KiB.
inline constexpr int32_t inflate_state_size = 88 << 10;
// The caller's work area: input, output and the engine's room, in one block.
inline constexpr int32_t inflate_work_size =
    inflate_input_size + inflate_output_size + inflate_state_size;

// Where the stored bytes come from and where the inflated bytes go.
struct InflatePipes {
  void* context;
  // Up to `count` bytes: the count read, or -1.
  int32_t (*read)(void* context, void* buffer, int32_t count);
  // All `count` bytes, or false.
  bool (*write)(void* context, const void* bytes, int32_t count);
};

enum class InflateOutcome : uint8_t {
  inflated,
  read_failed,  // the stored bytes could not all be read
  damaged,      // not one whole zlib stream of exactly the stored size
  write_failed, // the inflated bytes could not all be handed on
  too_large,    // the content reaches 2^31 bytes, past the format's sizes
};

// Inflates the stream of `stored_size` bytes that `pipes` reads, in the
// caller's work area of `inflate_work_size` bytes (aligned as the heap
// aligns), with the build's engine.
// A stream that needs a preset dictionary, declares a window above 32 KiB,
// ends before its stored bytes do, or does not end within them is damaged;
// so is a stored size of 0.
InflateOutcome inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work);

// The engines by name, for the tests that hold one to another; a build
// links the ones it has, and lists them in `inflate_engines`, zlib's first.
InflateOutcome zlib_inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work);
InflateOutcome isal_inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work);
// ISA-L's, going on from the first `already_read` stored bytes, which are
// at the start of the work area (its input block).
InflateOutcome isal_inflate_stream_from(uint32_t stored_size, int32_t already_read,
                                        const InflatePipes& pipes, uint8_t* work);

struct InflateEngine {
  const char* name;
  InflateOutcome (*inflate)(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work);
};
extern const InflateEngine inflate_engines[];
extern const int32_t inflate_engine_count;
