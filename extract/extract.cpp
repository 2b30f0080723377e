// Entry extraction: one file record turned into one file.
#include "extract/extract.h"

#include "extract/directories.h"
#include "package/name_check.h"
#include "package/pe_image.h"
#include "support/base/bytes.h"
#include "support/base/code_page.h"
#include "support/os/system.h"
#include "support/platform/host.h"
#include "support/runtime/heap.h"
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
  const char* command = *extractor.setup_command;
  if (!*command)
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

// The record's stored bytes come from the source; the inflated bytes are
// counted and go to the new file (or are only counted), made a
// program when its first bytes say so.
int32_t read_stored(void* context, void* buffer, int32_t count) {
  const ByteSource& source = static_cast<Extractor*>(context)->source;
  return source.read(source.context, buffer, count);
}

bool write_inflated(void* context, const void* bytes, int32_t count) {
  Extractor& extractor = *static_cast<Extractor*>(context);
  // A file that POSIX systems start by themselves (an ELF image or a
  // script) is made a program; Windows tells programs by their names.
  if (!host_is_windows && extractor.inflated == 0) {
    ImageKind kind = image_kind(static_cast<const uint8_t*>(bytes), uint32_t(count));
    if (kind == ImageKind::elf || kind == ImageKind::script)
      mark_as_program(extractor.output);
  }
  extractor.inflated += uint32_t(count);
  return write_file(extractor.output, bytes, count) == count;
}

bool count_inflated(void* context, const void*, int32_t count) {
  static_cast<Extractor*>(context)->inflated += uint32_t(count);
  return true;
}

// What the stub says of a stream that did not inflate, by outcome.
Verdict failed_stream(InflateOutcome outcome) {
  static constexpr Verdict verdicts[] = {Verdict::ok, Verdict::stream_beyond_end,
                                         Verdict::stream_damaged, Verdict::output_incomplete,
                                         Verdict::content_too_large};
  static_assert(
      uint8_t(InflateOutcome::read_failed) == 1 && uint8_t(InflateOutcome::damaged) == 2 &&
      uint8_t(InflateOutcome::write_failed) == 3 && uint8_t(InflateOutcome::too_large) == 4);
  return verdicts[uint8_t(outcome)];
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
[[gnu::noinline]] Verdict extract_stream(Extractor& extractor, uint32_t size) {
  // Memory is taken before the file is created: running out of it ends the
  // process, which must not leave a temporary file behind.
  reserve_inflater(extractor.inflater);
  InflatePipes pipes{&extractor, read_stored, write_inflated};
  extractor.inflated = 0;
  // An empty name or "." (the directory's own) is never a file's.
  bool file_named = names_a_file(extractor.file_name.c_str(), extractor.file_name.length());
  int32_t length = program_length(extractor, extractor.chain_name);
  char temporary[unique_name_size];
  FileHandle output = extractor.output = create_temporary(extractor, temporary);
  if (output == no_file)
    return Verdict::output_not_created;
  InflateOutcome outcome = inflate_record(extractor.inflater, size, pipes);
  if (outcome == InflateOutcome::inflated && file_named) {
    // A file the setup command may start is held from the moment it has
    // its name; one written before under that name is let go first.
    HeldProgram* held = length > 0 ? hold_slot(extractor, length) : nullptr;
    FileIdentity written;
    if (held && !file_identity(output, &written)) {
      delete_in(extractor.directory, output, temporary);
      return Verdict::output_not_created;
    }
    Placed placed = place_in(extractor.directory, output, temporary, extractor.file_name.c_str());
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
  delete_in(extractor.directory, output, temporary);
  return outcome == InflateOutcome::inflated ? Verdict::output_not_created : failed_stream(outcome);
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

namespace {

// Names are in the system's ANSI code page, or in UTF-8 where the package
// says so.
Verdict extract_name(void* context, const char* name, int32_t length) {
  Extractor& extractor = *static_cast<Extractor*>(context);
  return extractor.options.utf8() ? prepare_utf8_output(extractor, name, length)
                                  : prepare_output(extractor, name, length);
}

Verdict extract_content(void* context, uint32_t size) {
  return extract_stream(*static_cast<Extractor*>(context), size);
}

Verdict skip_stream(const ByteSource& source, uint32_t size) {
  return source.seek(source.context, int32_t(size), seek_from_current) == uint32_t(-1)
             ? Verdict::stream_beyond_end
             : Verdict::ok;
}

// A command in UTF-8 that the system's code page cannot hold is refused
// like one too long: never started in another form.
Verdict take_setup_command(void* context, const char* command, int32_t length) {
  Extractor& extractor = *static_cast<Extractor*>(context);
  String text(command, length);
  if (extractor.options.utf8() && !text_from_utf8(command, length, &text))
    return Verdict::command_too_long;
  return set_setup_command(text, extractor.target_path, *extractor.setup_command);
}

// A reader that writes nothing inflates each stream only to count and
// check it; the name is checked as stored.
Verdict check_stream(RecordReader& reader, uint32_t size) {
  Extractor& extractor = reader.extractor;
  reserve_inflater(extractor.inflater);
  extractor.inflated = 0;
  InflateOutcome outcome = inflate_record(extractor.inflater, size,
                                          InflatePipes{&extractor, read_stored, count_inflated});
  if (outcome != InflateOutcome::inflated)
    return failed_stream(outcome);
  return names_a_file(reader.name.c_str(), reader.name.length()) ? Verdict::ok
                                                                 : Verdict::output_not_created;
}

// The same steps told to the observer, where there is one.
Verdict observed_name(void* context, const char* name, int32_t length) {
  RecordReader& reader = *static_cast<RecordReader*>(context);
  reader.skip_stream = false;
  reader.name = String(name, length);
  // A reader that writes nothing checks the name as stored, by its rules.
  Verdict verdict = Verdict::ok;
  if (reader.writes)
    verdict = extract_name(&reader.extractor, name, length);
  else if (!reader.name_is_safe(name, length))
    verdict = Verdict::name_unsafe;
  if (verdict == Verdict::ok || !reader.observer.record)
    return verdict;
  verdict =
      reader.observer.record(reader.observer.context, RecordReport{reader.name, 0, 0, verdict});
  reader.skip_stream = verdict == Verdict::ok;
  return verdict;
}

Verdict observed_stream(void* context, uint32_t size) {
  RecordReader& reader = *static_cast<RecordReader*>(context);
  Extractor& extractor = reader.extractor;
  const ByteSource& source = extractor.source;
  if (reader.skip_stream)
    return skip_stream(source, size);
  // A reader that goes on past a damaged stream goes on behind it.
  uint32_t start = source.seek(source.context, 0, seek_from_current);
  Verdict verdict = reader.writes ? extract_stream(extractor, size) : check_stream(reader, size);
  if (!reader.observer.record)
    return verdict;
  verdict = reader.observer.record(reader.observer.context,
                                   RecordReport{reader.name, size, extractor.inflated, verdict});
  if (verdict == Verdict::ok &&
      source.seek(source.context, int32_t(start + size), seek_from_start) != start + size)
    return Verdict::stream_beyond_end;
  return verdict;
}

Verdict observed_command(void* context, const char* command, int32_t length) {
  RecordReader& reader = *static_cast<RecordReader*>(context);
  if (reader.observer.run_command)
    reader.observer.run_command(reader.observer.context, command, length);
  return take_setup_command(&reader.extractor, command, length);
}

Verdict skip_name(void*, const char*, int32_t) {
  return Verdict::ok;
}

Verdict skip_content(void* context, uint32_t size) {
  return skip_stream(static_cast<Extractor*>(context)->source, size);
}

// The setup command read before anything is written, by a walk that skips
// every stream, so that the program it names is known when the record walk
// writes it; then the record walk itself. The first walk's verdict waits
// for the second, which reaches the same record in order.
Verdict walk_twice(Extractor& extractor, const PackageLocation& location,
                   char (&setup_command)[setup_command_size], const RecordVisitor& records) {
  const ByteSource& source = extractor.source;
  extractor.setup_command = &setup_command;
  walk_records(source, location,
               RecordVisitor{&extractor, skip_name, skip_content, take_setup_command});
  uint32_t body = location.package_offset + uint32_t(layout::header_size);
  if (source.seek(source.context, int32_t(body), seek_from_start) != body)
    return Verdict::offset_unreachable;
  return walk_records(source, location, records);
}

} // namespace

Verdict extract_records(Extractor& extractor, const PackageLocation& location,
                        char (&setup_command)[setup_command_size]) {
  return walk_twice(extractor, location, setup_command,
                    RecordVisitor{&extractor, extract_name, extract_content, take_setup_command});
}

Verdict read_package(RecordReader& reader, PackageLocation* location,
                     char (&setup_command)[setup_command_size]) {
  Extractor& extractor = reader.extractor;
  setup_command[0] = '\0';
  Verdict verdict = locate_package(extractor.source, location);
  if (verdict == Verdict::ok && location->options.checksum()) {
    constexpr int32_t buffer_size = 64 << 10;
    uint8_t* buffer = static_cast<uint8_t*>(heap_allocate(buffer_size));
    verdict = check_package(extractor.source, *location, buffer, buffer_size);
    heap_release(buffer);
  }
  extractor.options = location->options;
  if (verdict != Verdict::ok)
    return verdict;
  return read_records(reader, *location, setup_command);
}

Verdict read_records(RecordReader& reader, const PackageLocation& location,
                     char (&setup_command)[setup_command_size]) {
  return walk_twice(reader.extractor, location, setup_command,
                    RecordVisitor{&reader, observed_name, observed_stream, observed_command});
}
