// Memory primitives on POSIX systems. A reservation is a private anonymous
// mapping without swap reservation: its pages only cost memory once touched.
#include "support/os/memory.h"
#include "support/os/seam.h"

#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/mman.h>

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
  return std::realloc(block, new_size);
}

void system_free(void* block) {
  std::free(block);
}

void* address_reserve(size_t size) {
  void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

bool address_commit(void*, size_t) {
  return !os_call_fails(OsCall::commit);
}

void address_decommit(void* base, size_t from, size_t to) {
  ::madvise(static_cast<char*>(base) + from, to - from, MADV_DONTNEED);
}

void address_release(void* base, size_t size) {
  ::munmap(base, size);
}
