// libdeflate's zlib decompressor over a fixed buffer: about three times as
// fast as zlib's inflate, for every file that fits. Its one allocation, the
// decompressor itself, is served from a fixed room (its malloc and free are
// renamed to the two below when it is built for the stub), so it is made
// once and never given back.
#include "support/inflate/whole_inflate.h"

#include <cstddef>
#include <libdeflate.h>

const int32_t whole_inflate_size = 4 << 20;

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

WholeInflate inflate_whole(const uint8_t* stream, uint32_t size, uint8_t* output,
                           int32_t* produced) {
  if (!decompressor)
    decompressor = libdeflate_alloc_decompressor();
  if (!decompressor)
    return WholeInflate::does_not_fit;
  size_t used = 0;
  size_t inflated = 0;
  libdeflate_result result = libdeflate_zlib_decompress_ex(
      decompressor, stream, size, output, size_t(whole_inflate_size), &used, &inflated);
  if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
    return WholeInflate::does_not_fit;
  // Stored bytes behind the end of the stream mean a damaged size, as in
  // the streaming loop.
  if (result != LIBDEFLATE_SUCCESS || used != size)
    return WholeInflate::damaged;
  *produced = static_cast<int32_t>(inflated);
  return WholeInflate::inflated;
}
