// The record walk over a file, without extracting anything.
#include "package/whole_package.h"

#include "package/layout.h"
#include "package/reader.h"

bool is_whole_package(FileHandle file) {
  uint32_t trailer = seek_file(file, -layout::trailer_size, seek_from_end);
  if (trailer == uint32_t(-1) || read_u32_from_zero(file) != layout::trailer_marker)
    return false;
  uint32_t package_offset = read_u32_from_zero(file);
  if (package_offset >= trailer ||
      seek_file(file, static_cast<int32_t>(package_offset), seek_from_start) != package_offset)
    return false;
  uint8_t header[layout::header_size];
  if (!is_package_header(header, read_file(file, header, layout::header_size)))
    return false;
  bool complete = false;
  uint32_t marker = read_u32_from_zero(file, &complete);
  while (complete && marker == layout::record_marker) {
    uint8_t name_length = read_u8_from_zero(file);
    if (name_length == layout::rejected_length)
      return false;
    uint32_t name_end = seek_file(file, name_length, seek_from_current);
    uint32_t stored_size = read_u32_from_zero(file);
    if (name_end == uint32_t(-1) || stored_size > trailer || name_end + 4 > trailer - stored_size)
      return false;
    seek_file(file, static_cast<int32_t>(stored_size), seek_from_current);
    marker = read_u32_from_zero(file, &complete);
  }
  if (complete && marker == layout::run_marker)
    return read_u8_from_zero(file) != layout::rejected_length;
  return complete && marker == layout::trailer_marker &&
         seek_file(file, 0, seek_from_current) == trailer + layout::marker_size;
}
