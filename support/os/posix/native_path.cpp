// Translation between the logic's backslashes and POSIX slashes.
#include "support/os/posix/native_path.h"

#include <cstring>

NativePath native_path(const char* path) {
  NativePath result;
  size_t length = std::strlen(path);
  result.fits = length < sizeof result.text;
  if (!result.fits) {
    result.text[0] = '\0';
    return result;
  }
  for (size_t i = 0; i <= length; ++i)
    result.text[i] = path[i] == '\\' ? '/' : path[i];
  return result;
}

uint32_t windows_path(const char* native, char* buffer, uint32_t size) {
  size_t length = std::strlen(native);
  if (length + 1 > size)
    return static_cast<uint32_t>(length + 1);
  for (size_t i = 0; i <= length; ++i)
    buffer[i] = native[i] == '/' ? '\\' : native[i];
  return static_cast<uint32_t>(length);
}

String windows_path(const char* native) {
  String result(native);
  for (int32_t i = 0; i < result.length(); ++i)
    if (result[i] == '/')
      result.data()[i] = '\\';
  return result;
}
