// Where an address lies, for the run-time error report.
#include "support/os/process.h"
#include "support/os/posix/system_calls.h"
#include "support/platform/process_exit.h"

uintptr_t allocation_base(const void* address) {
  Dl_info info;
  if (sys::dladdr(address, &info) && info.dli_fbase)
    return reinterpret_cast<uintptr_t>(info.dli_fbase);
  return 0;
}

void harden_dll_search() {}
