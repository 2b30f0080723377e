// What the running process gets from its surroundings: its arguments, the
// user's message box and the end of the process.
//
// The shipped stub takes these from the system (support/win32/entry.cpp,
// support/posix/entry.cpp). Test executables link a harness instead that sets
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

// A message box with no owner window; answers the button that closed it.
int show_message(const char* text, const char* caption, uint32_t flags);

// Ends the process with the exit code.
[[noreturn]] void end_process(int32_t exit_code);

// Makes sure that DLLs the process loads later (the message box's, the
// shell's) come from the system directory and never from the download
// folder; first thing at start-up. Nothing where DLLs are not searched.
void harden_dll_search();

// The start of the region that holds `address` when it is committed memory
// (for an address in the executable: its load address), else 0.
uintptr_t allocation_base(const void* address);
