// Where an address lies, for the run-time error report, and the kernel's
// optional routines.
#include <windows.h>

#include "support/os/process.h"
#include "support/os/win32/kernel.h"

uintptr_t allocation_base(const void* address) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(address, &region, sizeof region) == 0 || region.State != MEM_COMMIT)
    return 0;
  return reinterpret_cast<uintptr_t>(region.AllocationBase);
}

void* kernel_procedure(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
}
