// Files as byte sources for the package format.
#include "package/file_source.h"

namespace {

int32_t read_from_file(void* context, void* buffer, int32_t count) {
  return read_file(*static_cast<FileHandle*>(context), buffer, count);
}

uint32_t seek_in_file(void* context, int32_t offset, int origin) {
  return seek_file(*static_cast<FileHandle*>(context), offset, origin);
}

} // namespace

ByteSource file_source(FileHandle* file) {
  return ByteSource{file, read_from_file, seek_in_file};
}
