// Files as byte sources for the package format.
#include "extract/package_file.h"

namespace {

int32_t read_from_file(void* context, void* buffer, int32_t count) {
  return read_file(*static_cast<FileHandle*>(context), buffer, count);
}

uint32_t seek_in_file(void* context, int32_t offset, int origin) {
  return seek_file(*static_cast<FileHandle*>(context), offset, origin);
}

// Names and the command pass unexamined: only the walk's verdict counts.
Verdict accept_text(void*, const char*, int32_t) {
  return Verdict::ok;
}

Verdict skip_stream(void* context, uint32_t size) {
  seek_file(*static_cast<FileHandle*>(context), static_cast<int32_t>(size), seek_from_current);
  return Verdict::ok;
}

} // namespace

ByteSource file_source(FileHandle* file) {
  return ByteSource{file, read_from_file, seek_in_file};
}

bool is_whole_package(FileHandle file, uint8_t* buffer, int32_t size, uint8_t* options) {
  ByteSource source = file_source(&file);
  PackageLocation location;
  if (locate_package(source, &location) != Verdict::ok)
    return false;
  *options = location.options;
  return check_package(source, location, buffer, size) == Verdict::ok &&
         walk_records(source, location,
                      RecordVisitor{&file, accept_text, skip_stream, accept_text}) == Verdict::ok;
}
