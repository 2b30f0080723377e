// Memory as each operating system supplies it, under the stub's heap.
#pragma once

#include <cstddef>

void* system_allocate(size_t size);
// The block resized with its contents kept, or null when the system cannot
// (the caller then moves it).
void* system_reallocate(void* block, size_t old_size, size_t new_size);
void system_free(void* block);
