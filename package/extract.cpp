// Entry extraction: one file record turned into one file.
#include "package/extract.h"

#include "package/name_check.h"
#include "support/inflate/inflate_stream.h"
#include "support/os/system.h"
#include "support/runtime/directories.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/path_text.h"

namespace {

constexpr int32_t temporary_name_attempts = 64;

void release_record_directories(Extractor& extractor) {
  for (int32_t i = 0; i < extractor.held_count; ++i) {
    Directory held;
    held.handle = extractor.held[i];
    close_directory(&held);
  }
  extractor.held_count = 0;
}

bool open_target(Extractor& extractor) {
  if (!extractor.target_open) {
    force_directories(extractor.target_path);
    extractor.target_open = open_directory(extractor.target_path, &extractor.target);
  }
  return extractor.target_open;
}

// One step of the walk: the directory `name` inside the current one.
[[gnu::noinline]] Verdict step_down(Extractor& extractor, const String& name, bool create) {
  Directory child;
  ChildDirectory step = open_child_directory(extractor.directory, name.c_str(), create, &child);
  if (step == ChildDirectory::link)
    return Verdict::name_unsafe;
  if (step != ChildDirectory::opened)
    return Verdict::output_not_created;
  extractor.held[extractor.held_count++] = child.handle;
  extractor.directory = child;
  return Verdict::ok;
}

// Where the inflated bytes go: the new file, made a program when its first
// bytes say so.
struct Output {
  FileHandle own_file;
  FileHandle file;
  bool started;
};

int32_t read_stored(void* context, void* buffer, int32_t count) {
  return read_file(static_cast<Output*>(context)->own_file, buffer, count);
}

bool write_inflated(void* context, const void* bytes, int32_t count) {
  Output& output = *static_cast<Output*>(context);
  if (!output.started)
    mark_if_program(output.file, bytes, count);
  output.started = true;
  return write_file(output.file, bytes, count) == count;
}

// A new file of a name no entry has yet, in the record's directory.
[[gnu::noinline]] FileHandle create_temporary(Extractor& extractor,
                                              char (&name)[unique_name_size]) {
  if (extractor.temporary_base == 0)
    extractor.temporary_base = random_bits() | 1;
  for (int32_t attempt = 0; attempt < temporary_name_attempts; ++attempt) {
    unique_name(extractor.temporary_base++, name);
    FileHandle file = create_file_in(extractor.directory, name);
    if (file != no_file)
      return file;
  }
  return no_file;
}

[[gnu::noinline]] Verdict write_record(Extractor& extractor, FileHandle own_file, uint32_t size) {
  if (!extractor.buffers)
    extractor.buffers = static_cast<uint8_t*>(heap_allocate(inflate_work_size));
  char temporary[unique_name_size];
  Output output{own_file, create_temporary(extractor, temporary), false};
  if (output.file == no_file)
    return Verdict::output_not_created;
  InflateOutcome outcome =
      inflate_stream(size, InflatePipes{&output, read_stored, write_inflated}, extractor.buffers);
  bool closed = close_file(output.file);
  // An empty name or "." (the directory's own) is never a file's.
  if (outcome == InflateOutcome::inflated && closed &&
      names_a_file(extractor.file_name.c_str(), extractor.file_name.length()) &&
      replace_in(extractor.directory, temporary, extractor.file_name.c_str()))
    return Verdict::ok;
  delete_in(extractor.directory, temporary);
  if (outcome == InflateOutcome::too_large)
    run_time_error(203, __builtin_return_address(0));
  if (outcome == InflateOutcome::read_failed)
    return Verdict::stream_beyond_end;
  if (outcome == InflateOutcome::damaged)
    return Verdict::stream_damaged;
  if (outcome == InflateOutcome::write_failed || !closed)
    return Verdict::output_incomplete;
  // The name could not be replaced: a directory, or on Windows a read-only
  // or running file, stands there.
  return Verdict::output_not_created;
}

} // namespace

Verdict prepare_output(Extractor& extractor, const char* name_text, int32_t length) {
  String name(name_text, length);
  if (!is_safe_output_name(name.c_str(), name.length()))
    return Verdict::name_unsafe;
  if (!open_target(extractor))
    return Verdict::output_not_created;
  extractor.directory = extractor.target;
  // Components end at either separator; only those ending in a backslash
  // are created, as directories have always been.
  int32_t start = 0;
  for (int32_t end = 0; end < name.length(); ++end) {
    if (name[end] != '\\' && name[end] != '/')
      continue;
    Verdict verdict =
        end > start ? step_down(extractor, name.substring(start, end - start), name[end] == '\\')
                    : Verdict::ok;
    if (verdict != Verdict::ok) {
      release_record_directories(extractor);
      return verdict;
    }
    start = end + 1;
  }
  extractor.file_name = name.substring(start, name.length() - start);
  return Verdict::ok;
}

Verdict prepare_utf8_output(Extractor& extractor, const char* name, int32_t length) {
  String converted;
  if (!text_from_utf8(name, length, &converted))
    return Verdict::name_unsafe;
  return prepare_output(extractor, converted.c_str(), converted.length());
}

Verdict extract_stream(Extractor& extractor, FileHandle own_file, uint32_t size) {
  Verdict verdict = write_record(extractor, own_file, size);
  release_record_directories(extractor);
  return verdict;
}
