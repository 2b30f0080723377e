// The memory routines, over the compiler's own.
#include "support/base/bytes.h"

#include <cstring>

void copy_bytes(void* destination, const void* source, size_t count) {
  if (count)
    std::memmove(destination, source, count);
}

void fill_bytes(void* destination, uint8_t value, size_t count) {
  if (count)
    std::memset(destination, value, count);
}

bool same_bytes(const void* left, const void* right, size_t count) {
  return count == 0 || std::memcmp(left, right, count) == 0;
}
