// A package in a file: the file as a byte source for the format's reader,
// and the check that a file holds a whole package.
#pragma once

#include "package/format.h"
#include "support/os/files.h"

// Reads from `*file` at its current position; the handle must outlive the
// source.
ByteSource file_source(FileHandle* file);

// True when the file's trailer points at a package header inside it, its
// checksum (where the package asks for one) matches, and the records'
// sizes walk from there to the run record or to the trailer itself. A file
// cut short or padded out fails. Nothing is inflated. `buffer` of `size`
// bytes is scratch for the checksum; the package's options go to
// `*options`.
bool is_whole_package(FileHandle file, uint8_t* buffer, int32_t size, uint8_t* options);
