// Directories, whole files by name, the Windows directory, the current
// directory, launching programs and pausing. Failures are silent except for
// `change_directory`, which records its error code for `io_check`.
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

// Whether the system reads names by Windows rules (drive letters, device
// names, trailing dots and blanks dropped); chosen by the build.
extern const bool windows_name_rules;

// Text of a package marked UTF-8 (names, the setup command) in the code
// page the system's calls take: false when that code page cannot hold all
// of it (or it is no UTF-8), so that nothing is written under a changed
// name. Unchanged where the system takes UTF-8 (POSIX).
bool text_from_utf8(const char* text, int32_t length, String* converted);

// Whether the system is Windows NT or later, which never reads the
// restart-rename list; false off Windows.
bool system_is_nt();

// Whether the stub enters itself in the restart-rename list: on Windows,
// as it always has (Windows 9x processes the list, NT ignores it); not on
// POSIX systems, where nothing reads it.
bool system_has_restart_list();

// The path in its short 8.3 form where the system keeps one (Windows), for
// a list that is processed before long names exist; else the path itself.
String short_path(const String& path);

// The directory that holds the restart-rename list: its length, 0 on failure.
uint32_t get_windows_directory(char* buffer, uint32_t size);

// Changes the current directory; a failure becomes the pending I/O result.
void change_directory(const String& path);

// Starts `file` through the shell with `verb` (null for the default action)
// and `parameters` (null for none) in the current directory. Without
// `exit_code` it does not wait; with it, it waits for the program to end
// and stores its exit code there. False when it could not be started.
bool launch_program(const char* verb, const char* file, const char* parameters, int32_t* exit_code);

void pause_ms(uint32_t milliseconds);
