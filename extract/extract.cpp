// Entry extraction: one file record turned into one file.
#include "extract/extract.h"

#include "extract/directories.h"
#include "package/name_check.h"
#include "support/base/bytes.h"
#include "support/base/code_page.h"
#include "support/inflate/inflate_stream.h"
#include "support/inflate/whole_inflate.h"
#include "support/os/host.h"
#include "support/os/system.h"
#include "support/runtime/error_numbers.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/path_text.h"

namespace {

constexpr int32_t temporary_name_attempts = 64;

// Whether two bytes of a name are alike: both separators are, and on
// Windows, where names are case-blind, ASCII letters in either case.
bool alike(char left, char right) {
  auto fold = [](char byte) {
    if (byte == '/')
      return '\\';
    return host_is_windows && byte >= 'A' && byte <= 'Z' ? char(byte + 0x20) : byte;
  };
  return fold(left) == fold(right);
}

// How many bytes of the setup command name the record `name` as the
// program it starts: the target directory and the name, then a blank or
// the command's end (or the closing quote of a quoted program); 0 when
// the command cannot start it.
int32_t program_length(const Extractor& extractor, const String& name) {
  const char* command = extractor.setup_command;
  if (!command || !*command)
    return 0;
  int32_t quoted = command[0] == '"';
  String path = extractor.target_path + name;
  for (int32_t i = 0; i < path.length(); ++i)
    if (!alike(command[quoted + i], path[i]))
      return 0;
  char end = command[quoted + path.length()];
  bool ends = quoted ? end == '"' : end == ' ' || end == '\t' || end == '\0';
  return ends ? path.length() : 0;
}

// The slot for the program `length` bytes of the command name, emptied
// (a file held there before is let go); null when every slot holds another.
HeldProgram* hold_slot(Extractor& extractor, int32_t length) {
  HeldProgram* slot = nullptr;
  for (int32_t i = 0; i < extractor.held_count && !slot; ++i)
    if (extractor.held[i].length == length)
      slot = &extractor.held[i];
  if (!slot && extractor.held_count < most_held_programs)
    slot = &extractor.held[extractor.held_count++];
  if (slot && slot->file != no_file)
    close_file(slot->file);
  if (slot)
    *slot = HeldProgram{no_file, length};
  return slot;
}

// Lets go of the held directories from `depth` down.
void close_chain_from(Extractor& extractor, int32_t depth) {
  for (int32_t i = depth; i < extractor.chain_length; ++i)
    close_directory(&extractor.chain[i]);
  if (depth < extractor.chain_length)
    extractor.chain_length = depth;
}

bool open_target(Extractor& extractor) {
  if (!extractor.target_open) {
    force_directories(extractor.target_path);
    extractor.target_open = open_directory(extractor.target_path, &extractor.target);
  }
  return extractor.target_open;
}

// One step of the walk: the directory at `depth`, the part of `name` from
// `start` up to the separator at `end`, inside `parent`. The directory the
// last record's name held there serves again when both names agree up to
// and including that separator.
[[gnu::noinline]] Verdict step_down(Extractor& extractor, const String& name, int32_t depth,
                                    int32_t start, int32_t end, const Directory& parent) {
  if (depth < extractor.chain_length && extractor.chain_name.length() > end &&
      same_bytes(extractor.chain_name.c_str(), name.c_str(), end + 1))
    return Verdict::ok;
  close_chain_from(extractor, depth);
  Directory child;
  ChildDirectory step = open_child_directory(parent, name.substring(start, end - start).c_str(),
                                             name[end] == '\\', &child);
  if (step == ChildDirectory::link)
    return Verdict::name_unsafe;
  if (step != ChildDirectory::opened)
    return Verdict::output_not_created;
  extractor.chain[depth] = static_cast<Directory&&>(child);
  extractor.chain_length = depth + 1;
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

// Inflates the record's stream into the output: whole, with the build's
// fast engine, where the stream and its content fit its buffers, else
// streamed from the stream's start through zlib. Both reach one verdict.
InflateOutcome inflate_record(Extractor& extractor, Output& output, uint32_t size) {
  if (extractor.whole_input && size != 0 && size <= uint32_t(whole_inflate_size)) {
    if (read_file(output.own_file, extractor.whole_input, int32_t(size)) != int32_t(size))
      return InflateOutcome::read_failed;
    int32_t produced = 0;
    WholeInflate whole =
        inflate_whole(extractor.whole_input, size, extractor.whole_output, &produced);
    if (whole == WholeInflate::damaged)
      return InflateOutcome::damaged;
    if (whole == WholeInflate::inflated)
      return produced == 0 || write_inflated(&output, extractor.whole_output, produced)
                 ? InflateOutcome::inflated
                 : InflateOutcome::write_failed;
    if (seek_file(output.own_file, -int32_t(size), seek_from_current) == uint32_t(-1))
      return InflateOutcome::read_failed;
  }
  return inflate_stream(size, InflatePipes{&output, read_stored, write_inflated},
                        extractor.buffers);
}

// A new file of a name no entry has yet, in the record's directory. Every
// name is drawn afresh: one a writer of the directory saw says nothing of
// the next.
[[gnu::noinline]] FileHandle create_temporary(Extractor& extractor,
                                              char (&name)[unique_name_size]) {
  for (int32_t attempt = 0; attempt < temporary_name_attempts; ++attempt) {
    unique_name(random_bits(), name);
    FileHandle file = create_file_in(extractor.directory, name);
    if (file != no_file)
      return file;
  }
  return no_file;
}

} // namespace

// Kept out of line: inlined into the driver by link-time optimisation it
// makes the i686 stub larger.
[[gnu::noinline]] Verdict extract_stream(Extractor& extractor, FileHandle own_file, uint32_t size) {
  // Memory is taken before the file is created: running out of it ends the
  // process, which must not leave a temporary file behind.
  if (!extractor.buffers)
    extractor.buffers = static_cast<uint8_t*>(heap_allocate(inflate_work_size));
  if (!extractor.whole_input && size != 0 && size <= uint32_t(whole_inflate_size)) {
    extractor.whole_input = static_cast<uint8_t*>(heap_allocate(whole_inflate_size));
    extractor.whole_output = static_cast<uint8_t*>(heap_allocate(whole_inflate_size));
  }
  int32_t length = program_length(extractor, extractor.chain_name);
  char temporary[unique_name_size];
  Output output{own_file, create_temporary(extractor, temporary), false};
  if (output.file == no_file)
    return Verdict::output_not_created;
  InflateOutcome outcome = inflate_record(extractor, output, size);
  // An empty name or "." (the directory's own) is never a file's.
  if (outcome == InflateOutcome::inflated &&
      names_a_file(extractor.file_name.c_str(), extractor.file_name.length())) {
    // A file the setup command may start is held from the moment it has
    // its name; one written before under that name is let go first.
    HeldProgram* held = length > 0 ? hold_slot(extractor, length) : nullptr;
    FileIdentity written;
    if (held && !file_identity(output.file, &written)) {
      delete_in(extractor.directory, output.file, temporary);
      return Verdict::output_not_created;
    }
    Placed placed =
        place_in(extractor.directory, output.file, temporary, extractor.file_name.c_str());
    if (placed == Placed::moved && held) {
      // Nobody else's file may stand there by now: anything but the file
      // written is refused.
      held->file = open_program_in(extractor.directory, extractor.file_name.c_str(), written);
      if (held->file == no_file)
        return Verdict::output_not_created;
    }
    if (placed == Placed::moved)
      return Verdict::ok;
    // The name could not be replaced: a directory, or on Windows a
    // read-only or running file, stands there.
    return placed == Placed::not_closed ? Verdict::output_incomplete : Verdict::output_not_created;
  }
  delete_in(extractor.directory, output.file, temporary);
  if (outcome == InflateOutcome::too_large)
    run_time_error(error_heap_exhausted, __builtin_return_address(0));
  if (outcome == InflateOutcome::read_failed)
    return Verdict::stream_beyond_end;
  if (outcome == InflateOutcome::damaged)
    return Verdict::stream_damaged;
  if (outcome == InflateOutcome::write_failed)
    return Verdict::output_incomplete;
  return Verdict::output_not_created; // an empty name or "."
}

Verdict prepare_output(Extractor& extractor, const char* name_text, int32_t length) {
  String name(name_text, length);
  if (!is_safe_output_name(name.c_str(), name.length()))
    return Verdict::name_unsafe;
  if (!open_target(extractor))
    return Verdict::output_not_created;
  if (!extractor.chain) {
    int32_t size = int32_t(sizeof(Directory)) * deepest_name;
    extractor.chain = static_cast<Directory*>(heap_allocate(size));
    fill_bytes(extractor.chain, 0, size_t(size)); // empty directories: no handle, no path
  }
  // Components end at either separator, stepping by character; only those
  // ending in a backslash are created, as directories have always been.
  const Directory* current = &extractor.target;
  int32_t depth = 0;
  int32_t start = 0;
  Verdict verdict = Verdict::ok;
  for (int32_t end = 0; end < name.length() && verdict == Verdict::ok;
       end = next_character(name.c_str(), name.length(), end)) {
    if (name[end] != '\\' && name[end] != '/')
      continue;
    if (end > start) {
      verdict = step_down(extractor, name, depth, start, end, *current);
      current = &extractor.chain[depth++];
    }
    start = end + 1;
  }
  extractor.chain_name = name;
  if (verdict != Verdict::ok) {
    close_chain_from(extractor, 0);
    return verdict;
  }
  close_chain_from(extractor, depth);
  extractor.directory = *current;
  extractor.file_name = name.substring(start, name.length() - start);
  return Verdict::ok;
}

FileHandle finish_extraction(Extractor& extractor, const String& program) {
  close_chain_from(extractor, 0);
  if (extractor.target_open)
    close_directory(&extractor.target);
  extractor.target_open = false;
  FileHandle kept = no_file;
  for (int32_t i = 0; i < extractor.held_count; ++i) {
    FileHandle file = extractor.held[i].file;
    if (kept == no_file && extractor.held[i].length == program.length())
      kept = file;
    else if (file != no_file)
      close_file(file);
  }
  extractor.held_count = 0;
  return kept;
}

Verdict prepare_utf8_output(Extractor& extractor, const char* name, int32_t length) {
  String converted;
  if (!text_from_utf8(name, length, &converted))
    return Verdict::name_unsafe;
  return prepare_output(extractor, converted.c_str(), converted.length());
}
