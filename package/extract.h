// Extracting one file record of the package under the target directory.
#pragma once

#include <cstdint>

#include "package/format.h"
#include "support/os/files.h"
#include "support/runtime/string.h"

// The output path of the record named `name` under the target directory,
// with the directories on it created. `name_unsafe` when the name would
// leave the target directory by the system's rules or passes through a link
// below it; nothing is created then.
Verdict prepare_output(const String& target_directory, const char* name, int32_t length,
                       String* output_path);

// Reads the record's stream of `size` bytes from the own file, inflates it
// in memory and writes it as the file at `output_path`. Both buffers are
// released before it returns, on every failure too; a file that could not
// be written whole is deleted.
Verdict extract_stream(FileHandle own_file, uint32_t size, const String& output_path);
