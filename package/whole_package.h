// Whether a file holds a whole package, checked without inflating it.
#pragma once

#include "support/os/files.h"

// True when the trailer points at a package header inside the file and the
// records' sizes walk from there to the run record or to the trailer itself,
// each stream lying inside the file. A file cut short or padded out fails.
bool is_whole_package(FileHandle file);
