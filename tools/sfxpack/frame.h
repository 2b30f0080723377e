// The stub's process frame as sfxpack gives it, for the stub's engine that
// list, verify and extract run: no arguments of its own, messages as lines
// on stderr, and a path of the command line in the form the engine's
// system layer takes (one implementation per system, chosen by the build).
#pragma once

#include <string>

#include "support/runtime/string.h"

namespace sfxpack {

// `path` (UTF-8) as the stub's system layer names it: with backslashes,
// in the system's code page; false when that cannot hold it. Call
// `load_code_page` first.
bool engine_path(const std::string& path, String* converted);

} // namespace sfxpack
