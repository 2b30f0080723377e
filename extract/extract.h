// Extracting file records under the target directory.
//
// Each record's directories are opened one by one from the target
// directory's handle, never through a link below it; its stream is inflated
// in blocks into a new file of a temporary name in the last of them, which
// replaces the record's name only once the stream has ended cleanly. A
// failure leaves an existing file of that name as it was.
#pragma once

#include <cstdint>

#include "package/format.h"
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

// The extraction's state: the target directory, opened at the first record
// and kept; the directories of the last record's name, held open so that
// the next record in the same directories walks no step again (records of
// one directory usually follow one another); the inflate buffers, taken at
// the first stream and kept; the setup program's possible names.
struct Extractor {
  String target_path;
  Directory target;
  bool target_open = false;
  Directory* chain = nullptr; // `deepest_name` entries, the first `chain_length` open
  int32_t chain_length = 0;
  String chain_name;   // the name whose directories `chain` holds
  Directory directory; // where the record's file goes
  String file_name;
  uint8_t* buffers = nullptr;
  uint8_t* whole_input = nullptr; // the fast engine's buffers, where the build has one
  uint8_t* whole_output = nullptr;
  // The setup command, set before the walk: each record it may start (the
  // target directory and the record's name, then a blank or the command's
  // end) is held open from the moment it is written (`open_program_in`),
  // so that the program started is the one extracted, whoever else can
  // write to the target.
  const char* setup_command = nullptr;
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

// Inflates the record's stream of `size` bytes from the own file into a new
// file and moves it over the record's name. Content reaching 2^31 bytes
// ends in run-time error 203.
Verdict extract_stream(Extractor& extractor, FileHandle own_file, uint32_t size);
