// Windows-style paths at the POSIX system boundary: the stub's logic speaks
// backslashes, the system slashes.
#pragma once

#include <climits>
#include <cstdint>

#include "support/runtime/string.h"

struct NativePath {
  char text[PATH_MAX];
  bool fits;
};

// `path` with every backslash made a slash; `fits` is false when it is too
// long for the system.
NativePath native_path(const char* path);

// Writes `native` into `buffer` of `size` bytes with slashes made
// backslashes; answers its length, or the size needed when it does not fit.
uint32_t windows_path(const char* native, char* buffer, uint32_t size);

// `native` with slashes made backslashes, of any length.
String windows_path(const char* native);
