// Which bytes the seal covers, and its CRC-32.
#include "package/seal.h"

#include "package/layout.h"
#include "package/pe_image.h"
#include "support/base/bytes.h"
#include "support/inflate/crc32.h"

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
  PeFields pe = pe_fields(bytes, length);
  if (!pe.valid)
    return;
  blank(bytes, length, pe.checksum, 4);
  blank(bytes, length, pe.certificates, 8);
}

} // namespace

void blank_unsealed_bytes(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank(bytes, length, layout::split_set_offset, layout::split_set_header_size);
  if (seal_offset <= UINT32_MAX - 8)
    blank(bytes, length, seal_offset + seal_offset_field, seal_value_size);
  blank_pe_fields(bytes, length);
}

uint32_t seal_crc(uint8_t* bytes, uint32_t length, uint32_t seal_offset) {
  blank_unsealed_bytes(bytes, length, seal_offset);
  return crc32_update(0, bytes, length);
}
