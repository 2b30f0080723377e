#include "support/memory.h"

#include <cstdint>

#include "support/c_string.h"

namespace {

// Blocks from 64 KiB up live in reserved address space. Below that a resize
// copies, which stays cheap because the blocks are small.
constexpr size_t large_block = size_t(64) << 10;
constexpr size_t page = 4096;
constexpr size_t granule = 65536;

// In front of every large block: the extent of its reservation.
struct alignas(16) Region {
  size_t reserved;
  size_t committed;
};

size_t round_up(size_t value, size_t unit) {
  return (value + unit - 1) & ~(unit - 1);
}

// A 64-bit address space can hold the largest block the heap serves in every
// reservation, so large blocks there never move. A 32-bit one reserves twice
// the size and moves the block when it outgrows that.
size_t reservation_for(size_t size) {
  if (sizeof(void*) >= 8) return round_up(size_t(1) << 31, granule) + granule;
  size_t doubled = size <= SIZE_MAX / 2 ? size * 2 : size;
  size_t least = size_t(64) << 20;
  return round_up(doubled > least ? doubled : least, granule);
}

Region* region_of(void* block) {
  return static_cast<Region*>(block) - 1;
}

// One released region is kept for the next large block, so that a record's
// growing output reuses the pages the previous record touched rather than
// fault in fresh ones. When it is taken, pages beyond what the new block
// needs are given back, so that an idle spare never adds to the peak.
Region* spare_region = nullptr;
constexpr size_t spare_slack = size_t(1) << 20;

bool commit(Region* region, size_t size) {
  size_t needed = round_up(sizeof(Region) + size, page);
  if (needed <= region->committed) return true;
  if (needed > region->reserved || !address_commit(region, needed)) return false;
  region->committed = needed;
  return true;
}

Region* take_spare(size_t size) {
  Region* region = spare_region;
  if (!region || region->reserved < sizeof(Region) + size) return nullptr;
  spare_region = nullptr;
  size_t keep = round_up(sizeof(Region) + size + spare_slack, page);
  if (region->committed > keep) {
    address_decommit(region, keep, region->committed);
    region->committed = keep;
  }
  return region;
}

void* obtain_large(size_t size) {
  if (Region* region = take_spare(size)) {
    if (commit(region, size)) return region + 1;
    address_release(region, region->reserved);
  }
  size_t reserved = reservation_for(size + sizeof(Region));
  void* base = address_reserve(reserved);
  if (!base) return nullptr;
  Region* region = static_cast<Region*>(base);
  if (!address_commit(base, round_up(sizeof(Region) + size, page))) {
    address_release(base, reserved);
    return nullptr;
  }
  region->reserved = reserved;
  region->committed = round_up(sizeof(Region) + size, page);
  return region + 1;
}

// Keeps the region as the spare when it has more pages ready than the one
// kept so far.
void release_large(void* block) {
  Region* region = region_of(block);
  if (spare_region && spare_region->committed >= region->committed) {
    address_release(region, region->reserved);
    return;
  }
  if (spare_region) address_release(spare_region, spare_region->reserved);
  spare_region = region;
}

} // namespace

void* memory_obtain(size_t size) {
  return size >= large_block ? obtain_large(size) : system_allocate(size);
}

void* memory_regrow(void* block, size_t old_size, size_t new_size) {
  bool was_large = old_size >= large_block;
  bool is_large = new_size >= large_block;
  if (was_large && is_large && commit(region_of(block), new_size)) return block;
  // A small block, a move between the two kinds, or out of a full
  // reservation.
  void* moved = memory_obtain(new_size);
  if (!moved) return nullptr;
  copy_bytes(moved, block, old_size < new_size ? old_size : new_size);
  memory_give_back(block, old_size);
  return moved;
}

void memory_give_back(void* block, size_t size) {
  if (size >= large_block)
    release_large(block);
  else
    system_free(block);
}
