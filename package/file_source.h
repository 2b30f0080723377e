// A package in a file: the file as a byte source for the format's reader
// (the stub's own file, a joined copy).
#pragma once

#include "package/format.h"
#include "support/os/files.h"

// Reads from `*file` at its current position; the handle must outlive the
// source.
ByteSource file_source(FileHandle* file);
