// The stub's heap: a list of blocks over the system allocator. Extraction
// streams through fixed buffers, so no block grows with a file and every
// block can come from the system allocator as it is.
#include "support/runtime/heap.h"

#include "support/base/bytes.h"
#include "support/platform/memory.h"
#include "support/runtime/error_numbers.h"
#include "support/runtime/termination.h"

namespace {

constexpr uint32_t block_magic = 0x48656170; // "Heap"

// Sixteen bytes on 32-bit targets, thirty-two on 64-bit ones, so the payload
// keeps the alignment that the system allocator gives.
struct alignas(16) BlockHeader {
  uint32_t magic;
  uint32_t size;
  BlockHeader* previous;
  BlockHeader* next;
};

BlockHeader* first_block = nullptr;
int32_t live_blocks = 0;
int32_t largest_block = 0;

void link(BlockHeader* header) {
  header->magic = block_magic;
  header->previous = nullptr;
  header->next = first_block;
  if (first_block)
    first_block->previous = header;
  first_block = header;
  ++live_blocks;
}

void unlink(BlockHeader* header) {
  if (header->previous)
    header->previous->next = header->next;
  else
    first_block = header->next;
  if (header->next)
    header->next->previous = header->previous;
  header->magic = 0;
  --live_blocks;
}

BlockHeader* header_of(void* block) {
  return static_cast<BlockHeader*>(block) - 1;
}

// A pointer is ours when its header carries the mark and sits in the list.
bool is_own_block(void* block) {
  for (BlockHeader* header = first_block; header; header = header->next)
    if (header + 1 == block)
      return true;
  return false;
}

void* allocate_at(int32_t size, const void* caller) {
  if (size < 0)
    run_time_error(error_heap_exhausted, caller);
  void* raw = system_allocate(sizeof(BlockHeader) + static_cast<size_t>(size));
  if (!raw)
    run_time_error(error_heap_exhausted, caller);
  BlockHeader* header = static_cast<BlockHeader*>(raw);
  header->size = static_cast<uint32_t>(size);
  link(header);
  if (size > largest_block)
    largest_block = size;
  return header + 1;
}

void release_at(void* block, const void* caller) {
  if (!is_own_block(block))
    run_time_error(error_invalid_pointer, caller);
  BlockHeader* header = header_of(block);
  unlink(header);
  system_free(header);
}

// The block resized with its contents kept, in place where the system can,
// else moved; null (the old block unchanged) when no memory is left.
void* regrow(void* block, size_t old_size, size_t new_size) {
  if (void* resized = system_reallocate(block, old_size, new_size))
    return resized;
  void* moved = system_allocate(new_size);
  if (!moved)
    return nullptr;
  copy_bytes(moved, block, old_size < new_size ? old_size : new_size);
  system_free(block);
  return moved;
}

} // namespace

[[gnu::noinline]] void* heap_allocate(int32_t size) {
  if (size == 0)
    return nullptr;
  return allocate_at(size, __builtin_return_address(0));
}

[[gnu::noinline]] void heap_resize(void** block, int32_t size) {
  const void* caller = __builtin_return_address(0);
  if (!*block) {
    if (size != 0)
      *block = allocate_at(size, caller);
    return;
  }
  if (size == 0) {
    void* old = *block;
    *block = nullptr;
    release_at(old, caller);
    return;
  }
  if (size < 0)
    run_time_error(error_heap_exhausted, caller);
  if (!is_own_block(*block))
    run_time_error(error_invalid_pointer, caller);
  BlockHeader* header = header_of(*block);
  uint32_t old_size = header->size;
  // The header moves with the block, so take it out of the list first and
  // put the (possibly moved) header back in.
  unlink(header);
  void* raw = regrow(header, sizeof(BlockHeader) + old_size,
                     sizeof(BlockHeader) + static_cast<size_t>(size));
  if (!raw) {
    link(header);
    run_time_error(error_heap_exhausted, caller);
  }
  header = static_cast<BlockHeader*>(raw);
  header->size = static_cast<uint32_t>(size);
  link(header);
  if (size > largest_block)
    largest_block = size;
  *block = header + 1;
}

[[gnu::noinline]] void heap_release(void* block) {
  if (!block)
    return;
  release_at(block, __builtin_return_address(0));
}

void heap_release_all() {
  while (first_block) {
    BlockHeader* header = first_block;
    unlink(header);
    system_free(header);
  }
  largest_block = 0;
}

int32_t heap_block_count() {
  return live_blocks;
}

int32_t heap_largest_block() {
  return largest_block;
}
