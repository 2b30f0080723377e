// What the system is and has: its version, its code page, the Windows
// directory, launching programs and pausing. Files and directories by path
// are in paths.h. Failures are silent.
#pragma once

#include <cstdint>

#include "support/os/files.h"
#include "support/platform/host.h"
#include "support/runtime/string.h"

// Text of a package marked UTF-8 (names, the setup command) in the code
// page the system's calls take: false when that code page cannot hold all
// of it (or it is no UTF-8), so that nothing is written under a changed
// name. Unchanged where the system takes UTF-8 (POSIX).
bool text_from_utf8(const char* text, int32_t length, String* converted);

// Reads which bytes of the system's ANSI code page lead double-byte
// characters (support/base/code_page.h); first thing at start-up. Nothing
// where the system takes UTF-8 (POSIX).
void load_code_page();

// Whether the system is Windows NT or later, which never reads the
// restart-rename list; false off Windows.
bool system_is_nt();

// Whether the stub enters itself in the restart-rename list: on Windows,
// as it always has (Windows 9x processes the list, NT ignores it); not on
// POSIX systems, where nothing reads it, so that the POSIX stub carries
// none of the list's code.
constexpr bool system_has_restart_list() {
  return host_is_windows;
}

// The directory that holds the restart-rename list: its length, 0 on failure.
uint32_t get_windows_directory(char* buffer, uint32_t size);

// Starts `file` through the shell with `verb` (null for the default action)
// and `parameters` (null for none) in the current directory, followed by
// `count` more `arguments` in the system's form (`arguments_behind`): on
// POSIX each one argument of its own, on Windows text put behind the
// parameters as it stands. `program`,
// where it is not -1, is that file held open by the caller
// (`open_program_in`): POSIX executes that very file, Windows starts the
// path while the caller's handle keeps it unchanged. Without `exit_code`
// it does not wait; with it, it waits for the program to end and stores
// its exit code there. False when it could not be started.
bool launch_program(const char* verb, const char* file, const char* parameters,
                    const String* arguments, int32_t count, FileHandle program, int32_t* exit_code);

void pause_ms(uint32_t milliseconds);
