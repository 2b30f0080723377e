// Locating the PE fields.
#include "package/pe_image.h"

#include "support/base/bytes.h"

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

ImageKind image_kind(const uint8_t* bytes, uint32_t length) {
  PeFields pe = pe_fields(bytes, length);
  if (pe.valid)
    return pe.plus ? ImageKind::pe32_plus : ImageKind::pe32;
  if (length >= 4 && same_bytes(bytes,
                                "\x7F"
                                "ELF",
                                4))
    return ImageKind::elf;
  if (length >= 2 && bytes[0] == '#' && bytes[1] == '!')
    return ImageKind::script;
  return ImageKind::unknown;
}

CertificateTable certificate_table(const uint8_t* headers, uint32_t length, uint32_t file_size) {
  CertificateTable table;
  PeFields pe = pe_fields(headers, length);
  if (!pe.valid || pe.certificates + 8 > length)
    return table;
  uint32_t offset = load_u32(headers + pe.certificates);
  uint32_t size = load_u32(headers + pe.certificates + 4);
  table.present = size != 0 && offset < file_size && file_size - offset == size;
  table.entry = pe.certificates;
  table.offset = offset;
  return table;
}

uint32_t pe_checksum(const uint8_t* bytes, uint32_t length, const PeFields& fields) {
  PeChecksum checksum;
  checksum.field = fields.checksum;
  add_to_pe_checksum(checksum, bytes, length);
  return pe_checksum_value(checksum);
}

void add_to_pe_checksum(PeChecksum& checksum, const uint8_t* bytes, uint32_t count) {
  uint32_t sum = checksum.sum;
  uint32_t at = checksum.length;
  uint32_t end = at + count;
  for (; at < end; ++at, ++bytes) {
    // The checksum field's own four bytes count as zeros.
    uint32_t byte = at - checksum.field < 4 ? 0 : *bytes;
    if ((at & 1) == 0) {
      checksum.low = byte;
      continue;
    }
    sum += checksum.low | byte << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  checksum.sum = sum;
  checksum.length = end;
}

uint32_t pe_checksum_value(const PeChecksum& checksum) {
  uint32_t sum = checksum.sum;
  if (checksum.length & 1) {
    sum += checksum.low;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return ((sum & 0xFFFF) + (sum >> 16)) + checksum.length;
}
