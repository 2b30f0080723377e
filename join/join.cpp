// The set stays whole until it has been joined: volumes are deleted only
// after every one of them has reached the joined copy, the copy has been
// closed without error and holds a whole package. Any failure on the way
// deletes the unfinished copy and leaves head and volumes as they were.
#include "join/join.h"

#include "package/file_source.h"
#include "package/pe_image.h"
#include "support/base/bytes.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/runtime/heap.h"
#include "support/text/path_text.h"

namespace {

constexpr char joined_name[] = "_TMP_VK.exe";

String volume_path(const String& head_path, int32_t number) {
  char extension[5];
  volume_extension(number, extension);
  return change_extension(head_path, extension);
}

// Appends the rest of `source`, at most `limit` bytes, to `joined` block by
// block. False when a read or write fails or comes back short of what was
// read.
bool append_file(FileHandle source, FileHandle joined, uint8_t* buffer, uint32_t limit) {
  for (;;) {
    int32_t wanted = limit < uint32_t(join_buffer_size) ? int32_t(limit) : join_buffer_size;
    int32_t count = read_file(source, buffer, wanted);
    if (count < 0 || (count > 0 && write_file(joined, buffer, count) != count))
      return false;
    limit -= uint32_t(count);
    if (count != join_buffer_size)
      return true;
  }
}

// Copies the head into the joined copy, as `break_joined_head` makes it.
bool copy_head(FileHandle own_file, FileHandle joined, uint8_t* buffer) {
  uint32_t size = seek_file(own_file, 0, seek_from_end);
  if (size == uint32_t(-1))
    return false;
  int32_t count =
      seek_file(own_file, 0, seek_from_start) == 0
          ? read_file(own_file, buffer,
                      size < uint32_t(join_buffer_size) ? int32_t(size) : join_buffer_size)
          : -1;
  if (count < 0)
    return false;
  uint32_t end = break_joined_head(buffer, uint32_t(count), size);
  if (uint32_t(count) > end)
    count = int32_t(end);
  if (count > 0 && write_file(joined, buffer, count) != count)
    return false;
  return count != join_buffer_size || append_file(own_file, joined, buffer, end - uint32_t(count));
}

} // namespace

PackageOptions options_behind_stub(FileHandle own_file, uint32_t stub_length) {
  // Writers may align the package with up to 7 zero bytes behind the stub.
  constexpr int32_t window = layout::header_size + 7;
  uint8_t bytes[window];
  fill_bytes(bytes, 0, sizeof bytes);
  uint32_t at = stub_length;
  uint32_t size = seek_file(own_file, 0, seek_from_end);
  FileHandle source = own_file;
  FileHandle volume = no_file;
  if (size != uint32_t(-1) && at >= size) {
    volume = source = open_file(volume_path(argument(0), 1).c_str(), mode_read_share_all);
    at -= size;
  }
  if (seek_file(source, int32_t(at), seek_from_start) == at)
    read_file(source, bytes, window);
  if (volume != no_file)
    close_file(volume);
  int32_t start = 0;
  while (start < 7 && bytes[start] == 0)
    ++start;
  return PackageOptions{is_package_header(bytes + start, layout::header_size)
                            ? bytes[start + layout::options_offset]
                            : uint8_t(0)};
}

uint32_t break_joined_head(uint8_t* bytes, uint32_t count, uint32_t size) {
  CertificateTable table = certificate_table(bytes, count, size);
  if (count > uint32_t(layout::split_set_offset))
    bytes[layout::split_set_offset] = 0;
  if (table.present)
    fill_bytes(bytes + table.entry, 0, 8);
  return table.present ? table.offset : size;
}

JoinOutcome join_volumes(FileHandle own_file, const char* temp_directory, bool remove_volumes,
                         JoinedCopy* copy) {
  ByteSource own = file_source(&own_file);
  int32_t volume_count = static_cast<int32_t>(read_u32_from_zero(own));
  if (volume_count > layout::largest_volume_count)
    return JoinOutcome::too_many_files;

  uint8_t* buffer = static_cast<uint8_t*>(heap_allocate(join_buffer_size));
  String head_path = argument(0);
  String joined_path = String(temp_directory) + joined_name;

  FileHandle joined = create_file(joined_path.c_str());
  bool whole = joined != no_file && copy_head(own_file, joined, buffer);

  for (int32_t number = 1; whole && number < volume_count; ++number) {
    String path = volume_path(head_path, number);
    if (!file_exists(path)) {
      whole = false;
      break;
    }
    FileHandle volume = open_file(path.c_str(), mode_read_share_none);
    whole = volume != no_file && append_file(volume, joined, buffer, UINT32_MAX);
    close_file(volume);
  }
  if (joined != no_file && !close_file(joined))
    whole = false;
  // A volume cut short or damaged still joins; only a copy whose package
  // walks from its header to its trailer may cost the set its volumes.
  // The handle that checks it stays open, letting others only read, until
  // the process ends: nothing can replace the copy before it is started.
  PackageOptions options;
  FileHandle check = no_file;
  if (whole) {
    check = open_file(joined_path.c_str(), mode_read_share_read);
    ByteSource source = file_source(&check);
    whole = is_whole_package(source, buffer, join_buffer_size, &options);
    if (!whole)
      close_file(check);
  }
  heap_release(buffer);
  if (!whole) {
    // Only a copy this run created is removed; one it could not create
    // (in use, read-only) belongs to someone else.
    if (joined != no_file)
      delete_file(joined_path.c_str());
    return JoinOutcome::not_combined;
  }
  for (int32_t number = 1; remove_volumes && number < volume_count; ++number)
    delete_file(volume_path(head_path, number).c_str());
  copy->path = joined_path;
  copy->check = check;
  copy->wait = options.wait();
  return JoinOutcome::joined;
}
