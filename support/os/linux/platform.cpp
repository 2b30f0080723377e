// Linux's part below the POSIX layer: the own file through /proc, the
// kernel's random source, and the registers of a signal's context.
#include "support/os/posix/platform.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>
#include <ucontext.h>

bool own_executable_path(char* buffer, size_t size) {
  char resolved[PATH_MAX];
  if (!::realpath("/proc/self/exe", resolved) || std::strlen(resolved) >= size)
    return false;
  std::memcpy(buffer, resolved, std::strlen(resolved) + 1);
  return true;
}

bool kernel_random(void* buffer, size_t size) {
  return ::getrandom(buffer, size, GRND_NONBLOCK) == ssize_t(size);
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
