#include "package/seal.h"

#include "package/layout.h"
#include "support/c_string.h"
#include "support/crc32.h"

namespace {

void blank(uint8_t* bytes, uint32_t length, uint64_t start, uint64_t count) {
  for (uint64_t i = start; i < start + count && i < length; ++i)
    bytes[i] = 0;
}

// PE files: the checksum field of the optional header and the certificate
// entry of its data directories.
void blank_pe_fields(uint8_t* bytes, uint32_t length) {
  if (length < 64 || bytes[0] != 'M' || bytes[1] != 'Z')
    return;
  uint32_t pe = load_u32(bytes + 60);
  if (uint64_t(pe) + 24 + 2 > length || !same_bytes(bytes + pe, "PE\0\0", 4))
    return;
  uint32_t optional = pe + 24;
  uint32_t magic = bytes[optional] | bytes[optional + 1] << 8;
  uint32_t certificate_entry = magic == 0x20B ? 144 : 128; // PE32+ or PE32
  blank(bytes, length, uint64_t(optional) + 64, 4);
  blank(bytes, length, uint64_t(optional) + certificate_entry, 8);
}

} // namespace

void blank_unsealed_bytes(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank(bytes, length, layout::split_set_offset, layout::split_set_header_size);
  blank(bytes, length, uint64_t(seal_offset) + 8, seal_value_size);
  blank_pe_fields(bytes, length);
}

uint32_t seal_crc(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank_unsealed_bytes(bytes, length, seal_offset);
  return crc32_update(0, bytes, length);
}
