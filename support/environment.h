// What the running process gets from its surroundings: its arguments, the
// user's message box, the end of the process and the seal of its own file.
//
// The shipped stub takes these from the system (support/win32/entry.cpp,
// support/posix/entry.cpp). Test executables link a harness instead that sets
// the command line and the stub's own file, records the messages and turns
// the end of the process into a return to the test.
#pragma once

#include <cstdint>

#include "support/string.h"

// Number of non-empty arguments after the program name.
int32_t argument_count();

// Argument n; 0 is the full path of the running executable; past the last
// argument the result is empty.
String argument(int32_t n);

// A message box with no owner window; answers the button that closed it.
int show_message(const char* text, const char* caption, uint32_t flags);

// Ends the process with the exit code.
[[noreturn]] void end_process(int32_t exit_code);

// The seal that the build wrote into the stub: where it lies in the stub's
// file, the sealed length and its CRC-32.
struct SealRecord {
  char mark[8];
  uint32_t offset;
  uint32_t length;
  uint32_t crc;
};

inline constexpr char seal_mark[8] = {'S', 'F', 'X', 's', 'e', 'a', 'l', '1'};

// The mark is only for the build to find the record; the stub itself never
// compares it, so the image holds its bytes in the record alone.
SealRecord own_seal();

// The start of the region that holds `address` when it is committed memory
// (for an address in the executable: its load address), else 0.
uintptr_t allocation_base(const void* address);
