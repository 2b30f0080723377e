// The few fields of a Windows executable (PE) file that the package format
// and the build care about: where the headers are, the checksum field and
// the certificate-table entry that code signing fills in.
#pragma once

#include <cstdint>

struct PeFields {
  bool valid = false;        // "MZ", then "PE\0\0" where the DOS header points
  bool plus = false;         // PE32+ (64-bit) rather than PE32
  uint32_t pe_offset = 0;    // the "PE\0\0" signature
  uint32_t optional = 0;     // the optional header
  uint32_t checksum = 0;     // the optional header's checksum field
  uint32_t certificates = 0; // the certificate-table entry: offset and size
  uint32_t directories = 0;  // the first data-directory entry
};

// The fields of the PE file whose first `length` bytes are `bytes`; `valid`
// is false when they are no PE file or its headers lie past `length`.
PeFields pe_fields(const uint8_t* bytes, uint32_t length);

// What a file's first bytes say it is: a Windows executable (32- or
// 64-bit), an ELF executable, a script ("#!"), or none of them. The one
// place that tells a stub's kind and a program among extracted files.
enum class ImageKind : uint8_t { unknown, pe32, pe32_plus, elf, script };
ImageKind image_kind(const uint8_t* bytes, uint32_t length);

// A code-signing certificate table that ends a file, as its PE headers name
// it: `entry` is the directory entry (offset and size) within the headers,
// `offset` where the table starts. `present` only when the entry lies in
// the headers given and the table runs exactly to the end of the file.
struct CertificateTable {
  bool present = false;
  uint32_t entry = 0;
  uint32_t offset = 0;
};

// The table of a file of `file_size` bytes whose first `length` bytes are
// `headers`.
CertificateTable certificate_table(const uint8_t* headers, uint32_t length, uint32_t file_size);

// The checksum that the optional header's checksum field is to hold for the
// whole file of `length` bytes: 16-bit words added with their carries
// folded back in, the field itself left out, plus the file's length.
uint32_t pe_checksum(const uint8_t* bytes, uint32_t length, const PeFields& fields);

// The same sum taken over a file written piece by piece: start with the
// field's offset, add the pieces in order, then take the value.
struct PeChecksum {
  uint32_t field = 0; // the checksum field's offset, left out of the sum
  uint32_t sum = 0;
  uint32_t length = 0;
  uint32_t low = 0; // the low byte of a word not yet complete
};
void add_to_pe_checksum(PeChecksum& checksum, const uint8_t* bytes, uint32_t count);
uint32_t pe_checksum_value(const PeChecksum& checksum);
