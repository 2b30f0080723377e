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
