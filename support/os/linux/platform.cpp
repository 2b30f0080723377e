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

uintptr_t context_instruction(const void* context) {
  const mcontext_t& machine = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return static_cast<uintptr_t>(machine.gregs[REG_RIP]);
#elif defined(__i386__)
  return static_cast<uintptr_t>(machine.gregs[REG_EIP]);
#else
  (void)machine;
  return 0;
#endif
}

uintptr_t context_stack_pointer(const void* context) {
  const mcontext_t& machine = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return static_cast<uintptr_t>(machine.gregs[REG_RSP]);
#elif defined(__i386__)
  return static_cast<uintptr_t>(machine.gregs[REG_ESP]);
#else
  (void)machine;
  return 0;
#endif
}
