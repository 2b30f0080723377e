// Entry extraction: one file record turned into one file.
#include "package/extract.h"

#include "package/layout.h"
#include "package/name_check.h"
#include "package/reader.h"
#include "support/inflate/inflate_buffer.h"
#include "support/os/system.h"
#include "support/runtime/directories.h"
#include "support/runtime/heap.h"
#include "support/text/c_string.h"
#include "support/text/path_text.h"

const char* extract_message(ExtractOutcome outcome) {
  static constexpr const char* messages[] = {
      "",
      "File Read error(1)!",
      "File Read error(2)!",
      "File Decompress error(1)!",
      "File Output error(1)!",
      "File Output error(2)!",
      "File Output error(3)!",
  };
  return messages[static_cast<int>(outcome)];
}

bool looks_executable(const uint8_t* content, int32_t size) {
  return (size >= 2 && content[0] == '#' && content[1] == '!') || (size >= 4 && same_bytes(content,
                                                                                           "\x7F"
                                                                                           "ELF",
                                                                                           4));
}

namespace {

// Whether an entry on the name's path below the target directory is a link
// (a symbolic link, junction or mount point), through which the record would
// land outside. The target directory itself may be or lie behind a link:
// the user chose it.
bool has_link_below(const String& target_directory, const String& name) {
  for (int32_t end = 1; end <= name.length(); ++end)
    if ((end == name.length() || name[end] == '\\' || name[end] == '/') &&
        is_link(target_directory + name.substring(0, end)))
      return true;
  return false;
}

// Bytes from the current position to the end of the file.
int64_t bytes_left(FileHandle package, uint32_t package_end) {
  uint32_t here = seek_file(package, 0, seek_from_current);
  if (here == uint32_t(-1) || package_end < here)
    return 0;
  return int64_t(package_end) - here;
}

// Reads and inflates the record's stream; the caller owns `*content`.
ExtractOutcome read_content(FileHandle package, uint32_t package_end, void** content,
                            int32_t* content_size) {
  uint32_t compressed_size = read_u32_from_zero(package);
  // A damaged size must not turn into a huge allocation: it has to fit in
  // the file and in a signed size before anything is allocated.
  if (compressed_size > layout::largest_compressed_size ||
      int64_t(compressed_size) > bytes_left(package, package_end))
    return ExtractOutcome::stream_unreadable;
  int32_t size = static_cast<int32_t>(compressed_size);
  void* compressed = heap_allocate(size);
  int32_t count = read_file(package, compressed, size);
  if (count != size) {
    heap_release(compressed);
    return ExtractOutcome::stream_unreadable;
  }
  inflate_buffer(compressed, size, 0, content, content_size);
  heap_release(compressed);
  return *content_size < 0 ? ExtractOutcome::stream_damaged : ExtractOutcome::extracted;
}

ExtractOutcome write_content(const String& output_path, const void* content, int32_t size) {
  FileHandle output = create_file(output_path.c_str());
  if (output == 0 || output == no_file)
    return ExtractOutcome::output_not_created;
  if (size > 0 && write_file(output, content, size) != size) {
    // Never leave a truncated file looking complete.
    close_file(output);
    delete_file(output_path.c_str());
    return ExtractOutcome::output_incomplete;
  }
  if (looks_executable(static_cast<const uint8_t*>(content), size))
    make_executable(output);
  if (!close_file(output)) {
    delete_file(output_path.c_str());
    return ExtractOutcome::output_incomplete;
  }
  return ExtractOutcome::extracted;
}

} // namespace

ExtractOutcome extract_record(FileHandle package, uint32_t package_end,
                              const String& target_directory) {
  uint8_t name_length = read_u8_from_zero(package);
  if (name_length == layout::rejected_length)
    return ExtractOutcome::name_length_rejected;
  String name = read_text_field(package, name_length);
  if (!is_safe_name(name.c_str(), name.length(),
                    windows_name_rules ? NameRules::windows : NameRules::posix) ||
      has_link_below(target_directory, name))
    return ExtractOutcome::name_unsafe;
  String output_path = target_directory + name;
  force_directories(directory_prefix(output_path));

  void* content = nullptr;
  int32_t content_size = 0;
  ExtractOutcome outcome = read_content(package, package_end, &content, &content_size);
  if (outcome == ExtractOutcome::extracted)
    outcome = write_content(output_path, content, content_size);
  heap_release(content);
  return outcome;
}
