// The stub checks its own file against the seal the build wrote.
#include "extract/self_check.h"

#include "package/seal.h"
#include "support/runtime/heap.h"

bool own_file_is_unaltered(FileHandle file) {
  SealRecord seal = own_seal();
  if (seal.length == 0 || seal.length > 0x7FFFFFFF)
    return false;
  uint32_t file_size = seek_file(file, 0, seek_from_end);
  if (file_size == uint32_t(-1) || file_size < seal.length ||
      seek_file(file, 0, seek_from_start) != 0)
    return false;
  int32_t length = static_cast<int32_t>(seal.length);
  uint8_t* bytes = static_cast<uint8_t*>(heap_allocate(length));
  bool complete = read_file(file, bytes, length) == length;
  bool unaltered = complete && seal_crc(bytes, seal.length, seal.offset) == seal.crc;
  heap_release(bytes);
  return unaltered;
}
