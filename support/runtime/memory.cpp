// The memory under the stub's heap: small blocks from the system allocator,
// large ones in reserved address space that grows in place and is kept, with
// its pages, for the next record.
#include "support/runtime/memory.h"

#include "support/os/memory.h"

#include <cstdint>

#include "support/text/c_string.h"

namespace {

// Blocks from 64 KiB up live in reserved address space; smaller ones come
// from the system allocator until they grow past 16 KiB.
constexpr size_t large_block = size_t(64) << 10;
constexpr size_t growing_block = size_t(16) << 10;
constexpr size_t page = 4096;
constexpr size_t granule = 65536;

// In front of every large block: its reservation and what of it holds pages.
struct alignas(16) Region {
  size_t reserved;  // bytes of address space
  size_t committed; // bytes the system has been asked to make usable
  size_t touched;   // bytes that may hold pages: the most used since the last trim
  size_t needed;    // bytes the block uses now, header included; 0 while spare
  Region* next;     // every region held, in use or spare
};

size_t round_up(size_t value, size_t unit) {
  return (value + unit - 1) & ~(unit - 1);
}

// A 64-bit address space can hold the largest block the heap serves in every
// reservation, so large blocks there never move. A 32-bit one reserves twice
// the size and moves the block when it outgrows that.
size_t reservation_for(size_t size) {
  if (sizeof(void*) >= 8)
    return round_up(size_t(1) << 31, granule) + granule;
  size_t doubled = size <= SIZE_MAX / 2 ? size * 2 : size;
  size_t least = size_t(64) << 20;
  return round_up(doubled > least ? doubled : least, granule);
}

Region* regions = nullptr;

// The region of a block in reserved space; null for a block from the system.
Region* region_holding(void* block) {
  for (Region* region = regions; region; region = region->next)
    if (region + 1 == block)
      return region;
  return nullptr;
}

// Released regions are kept for the next large blocks, so that a record's
// buffers reuse the pages earlier records touched rather than fault in fresh
// ones. A record holds at most two large blocks at a time.
Region* spare_regions[2] = {nullptr, nullptr};

// The pages all regions hold stay within the most that the blocks in use
// have needed at once, plus this slack; past it they are trimmed to half the
// slack, so that trimming does not recur at every growth step.
constexpr size_t spare_slack = size_t(1) << 20;
size_t most_needed = 0;

void release_region(Region* region) {
  for (Region** link = &regions; *link; link = &(*link)->next)
    if (*link == region) {
      *link = region->next;
      break;
    }
  address_release(region, region->reserved);
}

// Gives back the pages of a region beyond `keep` bytes.
void trim(Region* region, size_t keep) {
  if (keep < region->committed) {
    address_decommit(region, keep, region->committed);
    region->committed = keep;
  }
  if (region->touched > keep)
    region->touched = keep;
}

// Keeps reused pages from lifting the peak: when the regions hold more than
// the budget, they give back pages beyond what their blocks need (a spare
// needs only its header page) until they are down to the target.
void fit_budget() {
  size_t needed = 0;
  size_t touched = 0;
  for (Region* region = regions; region; region = region->next) {
    needed += region->needed;
    touched += region->touched;
  }
  if (needed > most_needed)
    most_needed = needed;
  if (touched <= most_needed + spare_slack)
    return;
  size_t target = most_needed + spare_slack / 2;
  for (Region* region = regions; region && touched > target; region = region->next) {
    size_t floor = region->needed > page ? region->needed : page;
    if (region->touched <= floor)
      continue;
    size_t over = touched - target;
    size_t keep = region->touched - floor > over ? round_up(region->touched - over, page) : floor;
    touched -= region->touched - keep;
    trim(region, keep);
  }
}

// Sizes the region's block to `size` bytes, committing ahead, doubling up to
// 64 MiB at a time, so that a block growing a step at a time makes few calls
// to the system. False when the reservation cannot hold it.
bool fit_block(Region* region, size_t size) {
  size_t needed = round_up(sizeof(Region) + size, page);
  if (needed > region->reserved)
    return false;
  if (needed > region->committed) {
    size_t ahead = region->committed * 2;
    size_t most = size_t(64) << 20;
    if (ahead > needed + most)
      ahead = needed + most;
    if (ahead < needed)
      ahead = needed;
    if (ahead > region->reserved)
      ahead = region->reserved;
    if (!address_commit(region, ahead)) {
      if (!address_commit(region, needed))
        return false;
      ahead = needed;
    }
    region->committed = ahead;
  }
  region->needed = needed;
  if (needed > region->touched)
    region->touched = needed;
  fit_budget();
  return true;
}

// Takes the spare that fits `size` best: the one with the fewest pages ready
// that still covers it, else the one with the most.
Region* take_spare(size_t size) {
  size_t needed = sizeof(Region) + size;
  int best = -1;
  for (int i = 0; i < 2; ++i) {
    Region* region = spare_regions[i];
    if (!region || region->reserved < needed)
      continue;
    if (best < 0) {
      best = i;
      continue;
    }
    Region* other = spare_regions[best];
    bool fits = region->committed >= needed;
    bool other_fits = other->committed >= needed;
    if (fits && other_fits ? region->committed < other->committed
                           : region->committed > other->committed)
      best = i;
  }
  if (best < 0)
    return nullptr;
  Region* region = spare_regions[best];
  spare_regions[best] = nullptr;
  return region;
}

void* obtain_large(size_t size) {
  if (Region* region = take_spare(size)) {
    if (fit_block(region, size))
      return region + 1;
    release_region(region);
  }
  size_t reserved = reservation_for(size + sizeof(Region));
  void* base = address_reserve(reserved);
  if (!base)
    return nullptr;
  size_t committed = round_up(sizeof(Region) + size, page);
  if (!address_commit(base, committed)) {
    address_release(base, reserved);
    return nullptr;
  }
  Region* region = static_cast<Region*>(base);
  *region = Region{reserved, committed, committed, committed, regions};
  regions = region;
  fit_budget();
  return region + 1;
}

// Keeps the region as a spare, in place of the spare with fewer pages ready.
void release_large(Region* region) {
  region->needed = 0;
  int slot = !spare_regions[0]                                           ? 0
             : !spare_regions[1]                                         ? 1
             : spare_regions[0]->committed < spare_regions[1]->committed ? 0
                                                                         : 1;
  Region* displaced = spare_regions[slot];
  if (displaced && displaced->committed >= region->committed) {
    release_region(region);
    return;
  }
  spare_regions[slot] = region;
  if (displaced)
    release_region(displaced);
}

} // namespace

void* memory_obtain(size_t size) {
  return size >= large_block ? obtain_large(size) : system_allocate(size);
}

void* memory_regrow(void* block, size_t old_size, size_t new_size) {
  bool small = new_size < growing_block;
  if (Region* region = region_holding(block)) {
    if (fit_block(region, new_size))
      return block;
    small = false;
  } else if (small) {
    if (void* resized = system_reallocate(block, old_size, new_size))
      return resized;
  }
  // A move: out of a full reservation, of a small block the system did not
  // resize, or of a block from the system that has grown past the small
  // sizes. That one is usually a buffer growing a step at a time, so it
  // moves to reserved space, where later steps grow it in place.
  void* moved = small ? system_allocate(new_size) : obtain_large(new_size);
  if (!moved)
    return nullptr;
  copy_bytes(moved, block, old_size < new_size ? old_size : new_size);
  memory_give_back(block);
  return moved;
}

void memory_release_spares() {
  for (Region*& spare : spare_regions) {
    if (spare)
      release_region(spare);
    spare = nullptr;
  }
  most_needed = 0;
}

size_t memory_large_bytes_held() {
  size_t held = 0;
  for (Region* region = regions; region; region = region->next)
    held += region->touched;
  return held;
}

void memory_give_back(void* block) {
  if (Region* region = region_holding(block))
    release_large(region);
  else
    system_free(block);
}
