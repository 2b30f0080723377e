// Memory on Windows: the process heap, through LocalAlloc, which needs fewer
// imports than the Heap calls.
#include "support/platform/memory.h"
#include "support/os/seam.h"

#include "support/os/win32/system_calls.h"

void* system_allocate(size_t size) {
  return sys::LocalAlloc(LMEM_FIXED, size);
}

// Without LocalReAlloc, which would cost the stub one more import, a block
// is only resized in place when it shrinks; the caller moves a growing one.
void* system_reallocate(void* block, size_t old_size, size_t new_size) {
  if (os_call_fails(OsCall::commit))
    return nullptr;
  return new_size <= old_size ? block : nullptr;
}

void system_free(void* block) {
  sys::LocalFree(block);
}
