// Which bytes the seal covers, and its CRC-32.
#include "package/seal.h"

#include "package/layout.h"
#include "support/inflate/crc32.h"
#include "support/text/c_string.h"

namespace {

void blank(uint8_t* bytes, uint32_t length, uint32_t start, uint32_t count) {
  if (start >= length)
    return;
  uint32_t end = length - start < count ? length : start + count;
  fill_bytes(bytes + start, 0, end - start);
}

// PE files: the checksum field of the optional header and the certificate
// entry of its data directories.
void blank_pe_fields(uint8_t* bytes, uint32_t length) {
  if (length < 64 || bytes[0] != 'M' || bytes[1] != 'Z')
    return;
  uint32_t pe = load_u32(bytes + 60);
  if (pe > length - 26 || !same_bytes(bytes + pe, "PE\0\0", 4))
    return;
  uint32_t optional = pe + 24;
  uint32_t magic = bytes[optional] | bytes[optional + 1] << 8;
  uint32_t certificate_entry = magic == 0x20B ? 144 : 128; // PE32+ or PE32
  blank(bytes, length, optional + 64, 4);
  blank(bytes, length, optional + certificate_entry, 8);
}

} // namespace

void blank_unsealed_bytes(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank(bytes, length, layout::split_set_offset, layout::split_set_header_size);
  if (seal_offset <= UINT32_MAX - 8)
    blank(bytes, length, seal_offset + 8, seal_value_size);
  blank_pe_fields(bytes, length);
}

uint32_t seal_crc(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank_unsealed_bytes(bytes, length, seal_offset);
  return crc32_update(0, bytes, length);
}
