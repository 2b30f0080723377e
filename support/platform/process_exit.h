// How the running process ends: the user's message box, the exit, and the
// load address that a run-time error's report counts from. Below the
// run-time library, which ends every run through them. The message box and
// the exit come from the process frame (driver/entry_*.cpp) or a test
// harness, as the arguments do (process.h).
#pragma once

#include <cstdint>

// A message box with no owner window; answers the button that closed it.
int show_message(const char* text, const char* caption, uint32_t flags);

// Writes `length` bytes of `text` to the process's standard output (stream
// 1) or standard error (2): on Windows to the handle it was given, else to
// its parent's console. False when there is nowhere to write.
bool write_standard(int32_t stream, const char* text, int32_t length);

// Ends the process with the exit code.
[[noreturn]] void end_process(int32_t exit_code);

// The start of the region that holds `address` when it is committed memory
// (for an address in the executable: its load address), else 0.
uintptr_t allocation_base(const void* address);
