// The build's engine on the 64-bit builds. A file whose stream fits the
// input block and whose content fits the output block (most files of an
// installer) is inflated by one call of libdeflate's decompressor: on such
// files it is half again as fast as ISA-L's streaming, whose set-up and
// window keeping weigh more the smaller the file. A file larger than the
// output block is streamed by ISA-L from the block already read, so every
// stored byte is read once. Both refuse the same streams as zlib's inflate.
//
// The decompressor's one allocation is served from a fixed room (its
// malloc and free are renamed to the two below where it is built for the
// stub), so it is made once and never given back.
#include <cstddef>
#include <libdeflate.h>

#include "support/inflate/inflate_stream.h"
#include "support/inflate/stream_blocks.h"

namespace {
alignas(64) unsigned char decompressor_room[64 << 10];
bool room_taken = false;
libdeflate_decompressor* decompressor = nullptr;
} // namespace

extern "C" void* sfx_libdeflate_malloc(size_t size) {
  if (room_taken || size > sizeof decompressor_room)
    return nullptr;
  room_taken = true;
  return decompressor_room;
}

extern "C" void sfx_libdeflate_free(void*) {}

InflateOutcome inflate_stream(uint32_t stored_size, const InflatePipes& pipes, uint8_t* work) {
  if (stored_size == 0 || stored_size > uint32_t(inflate_input_size))
    return isal_inflate_stream(stored_size, pipes, work);
  if (!decompressor)
    decompressor = libdeflate_alloc_decompressor();
  int32_t size = int32_t(stored_size);
  if (pipes.read(pipes.context, work, size) != size)
    return InflateOutcome::read_failed;
  uint8_t* output = work + inflate_input_size;
  size_t used = 0;
  size_t produced = 0;
  libdeflate_result result =
      decompressor ? libdeflate_zlib_decompress_ex(decompressor, work, stored_size, output,
                                                   size_t(inflate_output_size), &used, &produced)
                   : LIBDEFLATE_INSUFFICIENT_SPACE;
  if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
    return isal_inflate_stream_from(stored_size, size, pipes, work);
  // Stored bytes behind the end of the stream mean a damaged size, as in
  // the streaming loop.
  if (result != LIBDEFLATE_SUCCESS || used != stored_size)
    return InflateOutcome::damaged;
  return StreamBlocks{pipes, 0}.write(output, int32_t(produced));
}
