// NUL-terminated text and byte helpers.
#include "support/text/c_string.h"

#include <cstring>

int32_t c_string_length(const char* text) {
  int32_t length = 0;
  while (text[length])
    ++length;
  return length;
}

char* append_c_string(char* destination, const char* source) {
  char* end = destination + c_string_length(destination);
  int32_t i = 0;
  do
    end[i] = source[i];
  while (source[i++]);
  return destination;
}

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

int32_t extension_position(const char* path, int32_t length) {
  for (int32_t i = length - 1; i >= 1; --i)
    if (path[i] == '.')
      return i;
  return length;
}
