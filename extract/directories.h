// Directory creation on top of the OS layer, the same on every system.
#pragma once

#include "support/runtime/string.h"

// Creates every missing directory on `path`, outermost first.
void force_directories(const String& path);
