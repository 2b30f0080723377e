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

// The arguments behind argument n in the form the system hands them to
// another program: on POSIX the process's own argument strings (empty ones
// too, with their slashes); on Windows the rest of the command line as it
// was written, one text, which each program splits by its own rules.
// Answers their number; `*words` gets an array of them on the stub's heap.
int32_t arguments_behind(int32_t n, String** words);

// Makes sure that DLLs the process loads later (the message box's, the
// shell's) come from the system directory and never from the download
// folder; first thing at start-up. Nothing where DLLs are not searched.
void harden_dll_search();
