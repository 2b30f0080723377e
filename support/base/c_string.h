// Helpers for NUL-terminated text in fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

int32_t c_string_length(const char* text);

// Copies `source` with its NUL to the end of `destination`, which has room.
char* append_c_string(char* destination, const char* source);

// The upper-case hexadecimal digit of the low four bits of `value`.
inline char hex_digit(uint32_t value) {
  value &= 15;
  return static_cast<char>(value < 10 ? '0' + value : 'A' - 10 + value);
}

// Where a path's extension starts: its last '.' at or after the second
// byte, anywhere in the path (a dot in a directory name counts); `length`
// when there is none.
int32_t extension_position(const char* path, int32_t length);
