// The system-call fault an input asks for, in the targets that run over the
// seam: chosen by an FNV-1a hash of all the input's bytes, so that a saved
// input replays with the same fault.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/os/seam.h"

inline uint32_t input_hash(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i)
    hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

// For `faulted` of every 120 inputs, call 1 to `faulted` from now fails or
// is cut short; the other inputs run without a fault.
inline void arm_input_fault(uint32_t hash, int32_t faulted) {
  int32_t call = int32_t(hash % 120);
  if (call < faulted)
    seam_arm(call + 1, (hash >> 8) & 1 ? SeamFault::short_count : SeamFault::fail);
}
