// Memory on POSIX systems: the C library's allocator.
#include "support/platform/memory.h"
#include "support/os/seam.h"

#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif

// The C library would hand the top of its heap back to the system whenever a
// record's buffers are freed, only to ask for it again for the next record.
// Keep it: memory is given back when the process ends.
void* system_allocate(size_t size) {
#ifdef __GLIBC__
  static bool tuned = false;
  if (!tuned) {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    tuned = true;
  }
#endif
  return os_call_fails(OsCall::commit) ? nullptr : std::malloc(size);
}

void* system_reallocate(void* block, size_t, size_t new_size) {
  if (os_call_fails(OsCall::commit))
    return nullptr;
  return std::realloc(block, new_size);
}

void system_free(void* block) {
  std::free(block);
}
