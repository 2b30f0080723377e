// NUL-terminated text helpers.
#include "support/base/c_string.h"

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

int32_t extension_position(const char* path, int32_t length) {
  for (int32_t i = length - 1; i >= 1; --i)
    if (path[i] == '.')
      return i;
  return length;
}
