// Extracting one file record of the package under the target directory.
#pragma once

#include <cstdint>

#include "support/files.h"
#include "support/string.h"

enum class ExtractOutcome {
  extracted,
  name_length_rejected, // "File Read error(1)!"
  stream_unreadable,    // "File Read error(2)!"
  stream_damaged,       // "File Decompress error(1)!"
  output_not_created,   // "File Output error(1)!"
  name_unsafe,          // "File Output error(2)!"
  output_incomplete,    // "File Output error(3)!"
};

// The user's message for a failed extraction.
const char* extract_message(ExtractOutcome outcome);

// Extracts the record behind the record marker at the package's position
// (`package_size` is the size of the whole file):
// its directories are created, its stream inflated in memory, then the file
// written. On success `*marker` holds the next four bytes read from zero and
// `*marker_complete` whether all four were there. Both buffers are released
// before the next marker is read, and on every failure too.
ExtractOutcome extract_record(FileHandle package, uint32_t package_size,
                              const String& target_directory, uint32_t* marker,
                              bool* marker_complete);

// Whether content is a program that a POSIX system starts by itself: a script
// with "#!" or an ELF image.
bool looks_executable(const uint8_t* content, int32_t size);
