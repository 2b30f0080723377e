// Entry extraction: one file record turned into one file.
#include "package/extract.h"

#include "package/name_check.h"
#include "support/inflate/inflate_buffer.h"
#include "support/os/system.h"
#include "support/runtime/directories.h"
#include "support/runtime/heap.h"
#include "support/text/c_string.h"
#include "support/text/path_text.h"

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

// Reads and inflates the record's stream, which the format's walk has found
// to lie inside the package; the caller owns `*content`.
Verdict read_content(FileHandle own_file, uint32_t size, void** content, int32_t* content_size) {
  int32_t count = static_cast<int32_t>(size);
  void* compressed = heap_allocate(count);
  bool complete = read_file(own_file, compressed, count) == count;
  if (complete)
    inflate_buffer(compressed, count, 0, content, content_size);
  heap_release(compressed);
  if (!complete)
    return Verdict::stream_beyond_end;
  return *content_size < 0 ? Verdict::stream_damaged : Verdict::ok;
}

Verdict write_content(const String& output_path, const void* content, int32_t size) {
  FileHandle output = create_file(output_path.c_str());
  if (output == 0 || output == no_file)
    return Verdict::output_not_created;
  if (size > 0 && write_file(output, content, size) != size) {
    // Never leave a truncated file looking complete.
    close_file(output);
    delete_file(output_path.c_str());
    return Verdict::output_incomplete;
  }
  mark_if_program(output, content, size);
  if (!close_file(output)) {
    delete_file(output_path.c_str());
    return Verdict::output_incomplete;
  }
  return Verdict::ok;
}

} // namespace

Verdict prepare_output(const String& target_directory, const char* name_text, int32_t length,
                       String* output_path) {
  String name(name_text, length);
  if (!is_safe_output_name(name.c_str(), name.length()) || has_link_below(target_directory, name))
    return Verdict::name_unsafe;
  *output_path = target_directory + name;
  force_directories(directory_prefix(*output_path));
  return Verdict::ok;
}

Verdict extract_stream(FileHandle own_file, uint32_t size, const String& output_path) {
  void* content = nullptr;
  int32_t content_size = 0;
  Verdict verdict = read_content(own_file, size, &content, &content_size);
  if (verdict == Verdict::ok)
    verdict = write_content(output_path, content, content_size);
  heap_release(content);
  return verdict;
}
