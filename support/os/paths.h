// Files and directories by path: existence, creation, removal, the atomic
// replacement, absolute and short forms, and the current directory.
// Failures are silent except for `change_directory`, which records its
// error code for `io_check`.
#pragma once

#include <cstdint>

#include "support/runtime/string.h"

bool file_exists(const String& path);
bool directory_exists(const String& path);
bool create_directory(const String& path);
void delete_file(const char* path);
// Moves `old_path` to `new_path`, replacing a file there in one step, so
// that `new_path` names either the old file or the new one at every moment.
// Failures are silent and leave both as they were.
void replace_file(const char* old_path, const char* new_path);

// The path made absolute against the current directory, without resolving
// links; empty when the system cannot.
String full_path(const String& path);

// The path in its short 8.3 form where the system keeps one (Windows), for
// a list that is processed before long names exist; else the path itself.
String short_path(const String& path);

// Changes the current directory; a failure becomes the pending I/O result.
void change_directory(const String& path);
