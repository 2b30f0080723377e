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

// The extraction's state: the target directory, opened at the first record
// and kept; the directories of the record at hand, held until it is
// written; the inflate buffers, taken at the first stream and kept.
struct Extractor {
  String target_path;
  Directory target;
  bool target_open = false;
  Directory directory; // where the record's file goes
  intptr_t held[deepest_name];
  int32_t held_count = 0;
  String file_name;
  uint8_t* buffers = nullptr;
  uint32_t temporary_base = 0;
};

// Opens the directories of the record named `name`, creating those that
// end in a backslash when missing, and keeps them for `extract_stream`.
// `name_unsafe` when the name would leave the target directory by the
// system's rules or meets a link below it; `output_not_created` when a
// directory cannot be made or opened.
Verdict prepare_output(Extractor& extractor, const char* name, int32_t length);

// The same for a name stored in UTF-8: refused (`name_unsafe`) where the
// system's code page cannot hold it.
Verdict prepare_utf8_output(Extractor& extractor, const char* name, int32_t length);

// Inflates the record's stream of `size` bytes from the own file into a new
// file and moves it over the record's name, then lets go of the record's
// directories. Content reaching 2^31 bytes ends in run-time error 203.
Verdict extract_stream(Extractor& extractor, FileHandle own_file, uint32_t size);
