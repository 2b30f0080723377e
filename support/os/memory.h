// Memory as each operating system supplies it, under the stub's heap.
#pragma once

#include <cstddef>

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
