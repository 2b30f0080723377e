// Whether the running stub's own file is still the file the build sealed.
#pragma once

#include "package/seal.h"
#include "support/os/files.h"

// The seal record inside the running stub (extract/seal_record.cpp; a test
// harness gives its own).
SealRecord own_seal();

// Reads the sealed length of the stub's own file through `own_file` (from
// its start; the handle stays open, its position anywhere) and compares its
// CRC-32 with the seal. An unsealed stub fails.
bool own_file_is_unaltered(FileHandle own_file);
