// Locating the PE fields.
#include "package/pe_image.h"

#include "package/format.h"
#include "support/text/c_string.h"

PeFields pe_fields(const uint8_t* bytes, uint32_t length) {
  PeFields fields;
  if (length < 64 || bytes[0] != 'M' || bytes[1] != 'Z')
    return fields;
  uint32_t pe = load_u32(bytes + 60);
  // Signature, file header and the optional header's magic.
  if (pe > length - 26 || !same_bytes(bytes + pe, "PE\0\0", 4))
    return fields;
  fields.valid = true;
  fields.pe_offset = pe;
  fields.optional = pe + 24;
  fields.plus = load_u16(bytes + fields.optional) == 0x20B;
  fields.checksum = fields.optional + 64;
  fields.directories = fields.optional + (fields.plus ? 112 : 96);
  fields.certificates = fields.directories + 4 * 8; // data directory 4
  return fields;
}

uint32_t pe_checksum(const uint8_t* bytes, uint32_t length, const PeFields& fields) {
  uint32_t sum = 0;
  for (uint32_t at = 0; at < length; at += 2) {
    if (at >= fields.checksum && at < fields.checksum + 4)
      continue;
    sum += bytes[at] | (at + 1 < length ? bytes[at + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return ((sum & 0xFFFF) + (sum >> 16)) + length;
}
