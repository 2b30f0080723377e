// Memory on POSIX systems: the C library's allocator.
#include "support/platform/memory.h"

#include "support/os/posix/platform.h"
#include "support/os/posix/system_calls.h"

// The C library's allocator, told at the first call to keep what is freed
// (the platform's `keep_freed_memory`).
void* system_allocate(size_t size) {
  static bool tuned = false;
  if (!tuned) {
    keep_freed_memory();
    tuned = true;
  }
  return sys::malloc(size);
}

void* system_reallocate(void* block, size_t, size_t new_size) {
  return sys::realloc(block, new_size);
}

void system_free(void* block) {
  sys::free(block);
}
