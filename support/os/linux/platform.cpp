// Linux's part below the POSIX layer: the own file through /proc, a held
// program executed by its descriptor, the kernel's random source, the C
// library's heap setting and the registers of a signal's context.
#include "support/os/posix/platform.h"

#include <climits>
#include <cstring>
#include <malloc.h>
#include <ucontext.h>

#include "support/os/linux/system_calls.h"

bool own_executable_path(char* buffer, size_t size) {
  char resolved[PATH_MAX];
  if (!sys::realpath("/proc/self/exe", resolved) || std::strlen(resolved) >= size)
    return false;
  std::memcpy(buffer, resolved, std::strlen(resolved) + 1);
  return true;
}

// glibc's setting; the other C libraries of Linux keep no such threshold.
void keep_freed_memory() {
#ifdef __GLIBC__
  sys::mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

// A script's interpreter reads the file by its /proc/self/fd name, so for
// a script the descriptor stays open across the exec.
void execute_open_file(int descriptor, char* const* arguments) {
  char magic[2];
  if (sys::pread(descriptor, magic, 2, 0) == 2 && magic[0] == '#' && magic[1] == '!')
    sys::fcntl(descriptor, F_SETFD, 0);
  sys::fexecve(descriptor, arguments, environ);
}

bool kernel_random(void* buffer, size_t size) {
  return sys::getrandom(buffer, size, GRND_NONBLOCK) == ssize_t(size);
}

// The register with the instruction and the one with the stack pointer.
ContextRegisters context_registers(const void* context) {
  const mcontext_t& machine = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return {uintptr_t(machine.gregs[REG_RIP]), uintptr_t(machine.gregs[REG_RSP])};
#elif defined(__i386__)
  return {uintptr_t(machine.gregs[REG_EIP]), uintptr_t(machine.gregs[REG_ESP])};
#else
  (void)machine;
  return {0, 0};
#endif
}
