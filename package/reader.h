// Reading fields from the stub's own file by the package's rules.
//
// Numeric fields are read "from zero": the value starts at 0 and bytes that
// the file does not have leave it zero.
#pragma once

#include <cstdint>

#include "support/os/files.h"
#include "support/runtime/string.h"

// A 32-bit field read from zero; `*complete` (when given) tells whether all
// four bytes came back.
uint32_t read_u32_from_zero(FileHandle file, bool* complete = nullptr);

// A length byte read from zero.
uint8_t read_u8_from_zero(FileHandle file);

// `length` bytes of a name or command field, cut at the first NUL; a field
// cut short by the end of the file yields the bytes that were there.
String read_text_field(FileHandle file, uint8_t length);

// Whether the first six bytes of a package header are the magic.
bool is_package_header(const uint8_t* header, int32_t count);
