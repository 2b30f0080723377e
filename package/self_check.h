// Whether the running stub's own file is still the file the build sealed.
#pragma once

// Reads the sealed length of the stub's own file and compares its CRC-32
// with the seal. An unsealed stub fails.
bool own_file_is_unaltered();
