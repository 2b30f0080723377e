// What the running process gets from its surroundings: its arguments (the
// message box and the end of the process are in process_exit.h).
//
// The shipped stub takes these from the system (driver/entry_win32.cpp,
// driver/entry_posix.cpp). Test executables link a harness instead that sets
// the command line and the stub's own file, records the messages and turns
// the end of the process into a return to the test.
#pragma once

#include <cstdint>

#include "support/runtime/string.h"

// Number of non-empty arguments after the program name.
int32_t argument_count();

// Argument n; 0 is the full path of the running executable; past the last
// argument the result is empty.
String argument(int32_t n);

// Makes sure that DLLs the process loads later (the message box's, the
// shell's) come from the system directory and never from the download
// folder; first thing at start-up. Nothing where DLLs are not searched.
void harden_dll_search();
