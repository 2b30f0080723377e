// Heap blocks of the stub's own run-time heap.
//
// Every block carries a small header that links it into one list, so that the
// heap can recognise its own blocks (a foreign pointer is run-time error 204)
// and give everything back at once when the process ends. Exhaustion is never
// reported to the caller: it ends the process with run-time error 203.
#pragma once

#include <cstdint>

// A block of at least `size` bytes; null for size 0. Negative sizes (2^31 or
// more seen as unsigned) cannot be served and end as exhaustion.
void* heap_allocate(int32_t size);

// Resizes `*block` to `size` bytes, keeping its contents up to the smaller
// size; the address may change. Null with size 0 does nothing; null with
// another size allocates; size 0 sets the variable to null and releases.
void heap_resize(void** block, int32_t size);

// Gives a block back; null is ignored.
void heap_release(void* block);

// Gives every block back, as the end of the process does.
void heap_release_all();

// Number of live blocks, for tests that check that nothing is left allocated.
int32_t heap_block_count();

// The largest block served since the heap was last given back whole, for
// tests that check that a damaged size was refused before allocating.
int32_t heap_largest_block();
