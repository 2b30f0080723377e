// Extracting one file record of the package under the target directory.
#pragma once

#include <cstdint>

#include "support/os/files.h"
#include "support/runtime/string.h"

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
// (`package_end` is where the package's data ends): its directories are
// created, its stream inflated in memory, then the file written. Both
// buffers are released before it returns, on every failure too.
ExtractOutcome extract_record(FileHandle package, uint32_t package_end,
                              const String& target_directory);

// Whether content is a program that a POSIX system starts by itself: a script
// with "#!" or an ELF image.
bool looks_executable(const uint8_t* content, int32_t size);
