// Reading a package's records: the one engine of the stub and of sfxpack's
// list, verify and extract.
//
// Each record's name is checked, its stream inflated and checked, and (when
// the extraction writes) its file written under the target directory. Each
// record's directories are opened one by one from the target
// directory's handle, never through a link below it; its stream is inflated
// in blocks into a new file of a temporary name in the last of them, which
// replaces the record's name only once the stream has ended cleanly. A
// failure leaves an existing file of that name as it was.
#pragma once

#include <cstdint>

#include "extract/setup_command.h"
#include "package/format.h"
#include "package/name_check.h"
#include "support/inflate/record_inflate.h"
#include "support/os/directory.h"
#include "support/os/files.h"
#include "support/runtime/string.h"

// The deepest a name of at most 254 bytes can reach.
inline constexpr int32_t deepest_name = 128;

// A file the setup command may start, held open once the walk has written
// it, and how many bytes of the command name it.
struct HeldProgram {
  FileHandle file = no_file;
  int32_t length = 0;
};
inline constexpr int32_t most_held_programs = 4;

// What the walk found of one file record, for a reader's own output.
struct RecordReport {
  const String& name; // as stored (in UTF-8 where the package says so)
  uint32_t stored_size;
  uint32_t size;   // the bytes inflated, as far as the stream went
  Verdict verdict; // the stub's verdict on the record
};

// Told of each file record once its verdict is known, and of the run
// record; answers the verdict the walk goes on with. Without an observer
// every verdict but `ok` ends the walk, as in the stub.
struct RecordObserver {
  void* context;
  Verdict (*record)(void* context, const RecordReport& report);
  void (*run_command)(void* context, const char* command, int32_t length);
};

// The extraction's state: where the package comes from; the target
// directory, opened at the first record and kept; the directories of the
// last record's name, held open so that the next record in the same
// directories walks no step again (records of one directory usually follow
// one another); the inflater; the setup program's possible names.
struct Extractor {
  ByteSource source;
  PackageOptions options;
  String target_path;
  Directory target;
  bool target_open = false;
  Directory* chain = nullptr; // `deepest_name` entries, the first `chain_length` open
  int32_t chain_length = 0;
  String chain_name;   // the name whose directories `chain` holds
  Directory directory; // where the record's file goes
  String file_name;
  RecordInflater inflater;
  FileHandle output = no_file; // the record's new file
  uint32_t inflated = 0;       // bytes of the record's content so far
  // The setup command, filled by the first walk: each record it may start
  // (the target directory and the record's name, then a blank or the
  // command's end) is held open from the moment it is written
  // (`open_program_in`), so that the program started is the one extracted,
  // whoever else can write to the target.
  char (*setup_command)[setup_command_size] = nullptr;
  HeldProgram held[most_held_programs] = {};
  int32_t held_count = 0;
};

// After the walk: lets go of every directory (a setup may remove them) and
// of every held file but that of `program`, the program the launch starts,
// which goes to the caller; -1 when the package wrote no file of its name.
FileHandle finish_extraction(Extractor& extractor, const String& program);

// Opens the directories of the record named `name` (or keeps those the last
// record shares with it), creating those that end in a backslash when
// missing, and keeps them open.
// `name_unsafe` when the name would leave the target directory by the
// system's rules or meets a link below it; `output_not_created` when a
// directory cannot be made or opened.
Verdict prepare_output(Extractor& extractor, const char* name, int32_t length);

// The same for a name stored in UTF-8: refused (`name_unsafe`) where the
// system's code page cannot hold it.
Verdict prepare_utf8_output(Extractor& extractor, const char* name, int32_t length);

// Inflates the record's stream of `size` bytes from the source into a new
// file and moves it over the record's name. Content reaching 2^31 bytes
// is `content_too_large`.
Verdict extract_stream(Extractor& extractor, uint32_t size);

// Reads the package's records from the source, which stands behind the
// header: a first walk takes the setup command into `setup_command` (which
// starts empty; the command is built for the target directory) and skips
// every stream, so that the program it names is known before anything is
// written; the second walk extracts each record in order. `ok`, or the
// first verdict not `ok`.
Verdict extract_records(Extractor& extractor, const PackageLocation& location,
                        char (&setup_command)[setup_command_size]);

// A reader of packages with output of its own (sfxpack list, verify and
// extract, the fuzzers): the stub's extraction, told to an observer.
struct RecordReader {
  Extractor extractor; // its source set by the caller
  // False: each stream is inflated and checked, nothing is written.
  bool writes = true;
  // The rules of the system the names are for where nothing is written;
  // an extraction that writes takes the host's.
  bool (*name_is_safe)(const char* name, int32_t length) = is_safe_output_name;
  RecordObserver observer = {};
  String name;              // the record's name as stored
  bool skip_stream = false; // the observer went on past a refused name
};

// The records of a package located and checked, read as
// `extract_records` reads them, each told to the observer where there is one.
Verdict read_records(RecordReader& reader, const PackageLocation& location,
                     char (&setup_command)[setup_command_size]);

// The whole of a package read as the stub reads it: located through its
// trailer, its checksum checked, then its records read as
// `extract_records` reads them, each told to the observer (which decides
// where the walk goes on) when there is one.
Verdict read_package(RecordReader& reader, PackageLocation* location,
                     char (&setup_command)[setup_command_size]);
