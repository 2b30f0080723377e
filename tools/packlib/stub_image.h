// Facts about a stub executable's file: its kind, its seal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "package/pe_image.h"

namespace packlib {

// What the file is (package/pe_image.h's one test of it), and the two
// questions the tool asks of a stub.
ImageKind kind_of_image(std::span<const uint8_t> bytes);
bool is_pe_image(std::span<const uint8_t> bytes);
bool is_elf_image(std::span<const uint8_t> bytes);

// Offset of the one seal record in the file; throws when there is none or
// more than one.
size_t find_seal_record(std::span<const uint8_t> bytes);

struct SealState {
  bool found = false;  // the file holds a seal record
  bool sealed = false; // the build wrote the seal
  bool intact = false; // the sealed bytes still match it
  uint32_t length = 0; // the sealed length: the stub's own size
};

// Checks the seal of a stub, or of a stub with a package behind it.
SealState check_seal(std::span<const uint8_t> bytes);

} // namespace packlib
