// The engine's paths on Windows: the system's ANSI code page.
#include "support/os/system.h"
#include "tools/sfxpack/frame.h"

bool sfxpack::engine_path(const std::string& path, String* converted) {
  return text_from_utf8(path.data(), int32_t(path.size()), converted);
}
