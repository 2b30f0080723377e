// Memory primitives on Windows: the process heap for small blocks (through
// LocalAlloc, which needs fewer imports than the Heap calls), reserved and
// committed address space for large ones.
#include "support/os/memory.h"
#include "support/os/seam.h"

#include <windows.h>

void* system_allocate(size_t size) {
  return os_call_fails(OsCall::commit) ? nullptr : LocalAlloc(LMEM_FIXED, size);
}

// Without LocalReAlloc, which would cost the stub one more import, a block
// is only resized in place when it shrinks; the caller moves a growing one.
void* system_reallocate(void* block, size_t old_size, size_t new_size) {
  return new_size <= old_size ? block : nullptr;
}

void system_free(void* block) {
  LocalFree(block);
}

void* address_reserve(size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
}

bool address_commit(void* base, size_t size) {
  return !os_call_fails(OsCall::commit) &&
         VirtualAlloc(base, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void address_decommit(void* base, size_t from, size_t to) {
  VirtualFree(static_cast<char*>(base) + from, to - from, MEM_DECOMMIT);
}

void address_release(void* base, size_t) {
  VirtualFree(base, 0, MEM_RELEASE);
}
