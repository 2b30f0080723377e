// Raw memory from the operating system, under the stub's heap.
//
// Small blocks come from the system allocator. Large blocks, and blocks that
// grow past the small sizes, live in reserved address space that is
// committed as they grow, so that growing a block a step at a time does not
// copy it.
#pragma once

#include <cstddef>

// A block of `size` bytes, or null.
void* memory_obtain(size_t size);

// The block resized from `old_size` to `new_size` bytes with its contents
// kept, or null (the old block is then unchanged).
void* memory_regrow(void* block, size_t old_size, size_t new_size);

// Gives a block back.
void memory_give_back(void* block);

// Gives the regions kept for later large blocks back and forgets the peak,
// once no block is in use: the state of a new process.
void memory_release_spares();

// Bytes that the large blocks' regions, in use and spare, may hold in pages;
// for tests of the peak.
size_t memory_large_bytes_held();

// What each operating system supplies (support/win32, support/posix).
void* system_allocate(size_t size);
// The block resized with its contents kept, or null when the system cannot
// (the caller then moves it).
void* system_reallocate(void* block, size_t old_size, size_t new_size);
void system_free(void* block);
// Address space of `size` bytes that is not yet usable, or null.
void* address_reserve(size_t size);
// Makes the first `size` bytes of a reservation usable.
bool address_commit(void* base, size_t size);
// Gives back the pages from `from` to `to` bytes of a reservation; it stays
// reserved and may be committed again.
void address_decommit(void* base, size_t from, size_t to);
void address_release(void* base, size_t size);
