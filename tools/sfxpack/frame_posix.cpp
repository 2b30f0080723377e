// The engine's paths on POSIX systems: backslashes for slashes.
#include "support/os/posix/native_path.h"
#include "tools/sfxpack/frame.h"

bool sfxpack::engine_path(const std::string& path, String* converted) {
  *converted = windows_path(path.c_str());
  return true;
}
