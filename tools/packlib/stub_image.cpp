// Recognising stub files and checking their seals.
#include "tools/packlib/stub_image.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "package/format.h"
#include "package/pe_image.h"
#include "package/seal.h"

namespace packlib {

namespace {

std::vector<size_t> seal_marks(std::span<const uint8_t> bytes) {
  std::vector<size_t> found;
  const uint8_t* mark = reinterpret_cast<const uint8_t*>(seal_mark);
  auto at = bytes.begin();
  while ((at = std::search(at, bytes.end(), mark, mark + sizeof seal_mark)) != bytes.end()) {
    size_t offset = size_t(at - bytes.begin());
    if (offset + sizeof(SealRecord) <= bytes.size())
      found.push_back(offset);
    ++at;
  }
  return found;
}
} // namespace

ImageKind kind_of_image(std::span<const uint8_t> bytes) {
  return image_kind(bytes.data(), uint32_t(std::min<size_t>(bytes.size(), UINT32_MAX)));
}

bool is_pe_image(std::span<const uint8_t> bytes) {
  ImageKind kind = kind_of_image(bytes);
  return kind == ImageKind::pe32 || kind == ImageKind::pe32_plus;
}

bool is_elf_image(std::span<const uint8_t> bytes) {
  return kind_of_image(bytes) == ImageKind::elf;
}

size_t find_seal_record(std::span<const uint8_t> bytes) {
  std::vector<size_t> found = seal_marks(bytes);
  if (found.size() != 1)
    throw std::runtime_error(found.empty() ? "no seal record" : "more than one seal record");
  return found.front();
}

SealState check_seal(std::span<const uint8_t> bytes) {
  SealState state;
  // A package behind the stub may itself hold the mark's bytes: the record
  // is the one whose stored offset names its own position.
  for (size_t offset : seal_marks(bytes)) {
    uint32_t stored_offset = load_u32(&bytes[offset + seal_offset_field]);
    uint32_t length = load_u32(&bytes[offset + seal_length_field]);
    state.found = true;
    if (stored_offset != offset || length == 0 || length > bytes.size())
      continue;
    state.sealed = true;
    state.length = length;
    std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + length);
    state.intact = seal_crc(copy.data(), length, uint32_t(offset)) ==
                   load_u32(&bytes[offset + seal_crc_field]);
    return state;
  }
  return state;
}

} // namespace packlib
