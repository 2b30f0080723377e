// Joining a split set: the head, run with its split-set marker present,
// copies itself and its volumes into one executable in the temp directory
// and starts that copy.
#pragma once

#include "support/os/files.h"

inline constexpr int join_buffer_size = 32768;

// Joins head and volumes into "_TMP_VK.exe" in `temp_directory` and starts
// it. `own_file` is the head, open and positioned behind the split-set
// marker. Never returns: every path ends the process.
[[noreturn]] void join_volumes(FileHandle own_file, const char* temp_directory);
