// What the POSIX layer leaves to the system it runs on: one file per
// system (support/os/linux/platform.cpp), chosen by the build, so that a
// port to another POSIX system is that file and a line of CMake. Linked by
// the stub's OS layer and by the tools' host layer alike.
#pragma once

#include <cstddef>
#include <cstdint>

// The running program's own file with its links resolved, NUL-terminated
// in `buffer`; false when the system cannot say or it does not fit.
bool own_executable_path(char* buffer, size_t size);

// Executes, in place of the process, the program open as `descriptor`
// with `arguments`, whatever has become of its name since it was opened;
// returns only when that fails, with errno set.
void execute_open_file(int descriptor, char* const* arguments);

// `size` bytes from the kernel's random source; false where it has none to
// give at once.
bool kernel_random(void* buffer, size_t size);

// Asks the C library to keep the top of its heap when blocks are freed:
// it would hand it back to the system whenever a record's buffers are
// freed, only to ask for it again for the next record. Memory is given back
// when the process ends. Nothing where the library has no such setting.
void keep_freed_memory();

// The instruction a signal interrupted and the stack pointer then, from
// the handler's context; 0 where the build knows no register layout.
struct ContextRegisters {
  uintptr_t instruction;
  uintptr_t stack;
};
ContextRegisters context_registers(const void* context);
