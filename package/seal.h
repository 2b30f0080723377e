// The seal that proves a stub file unaltered since it was built.
//
// The build writes the sealed length and a CRC-32 of the stub's first bytes
// into a marked record inside the stub. Some bytes are left out of the sum
// (taken as zero) because they change legitimately after the build: the
// split-set header of a head or joined copy, the seal's own fields and, in
// a Windows executable, the checksum field and the certificate-table entry
// that code signing fills in.
#pragma once

#include <cstddef>
#include <cstdint>

// The seal record as the build writes it into the stub: its mark, then
// where it lies in the stub's file, the sealed length and the CRC-32.
struct SealRecord {
  char mark[8];
  uint32_t offset;
  uint32_t length;
  uint32_t crc;
};

// The mark is only for the build to find the record; the stub itself never
// compares it, so the image holds its bytes in the record alone.
constexpr char seal_mark[8] = {'S', 'F', 'X', 's', 'e', 'a', 'l', '1'};

// Where the value fields lie behind the start of the record.
inline constexpr uint32_t seal_offset_field = 8;
inline constexpr uint32_t seal_length_field = 12;
inline constexpr uint32_t seal_crc_field = 16;
// Size of the seal's value fields (offset, length, CRC) behind its mark.
inline constexpr uint32_t seal_value_size = 12;
static_assert(sizeof(SealRecord) == seal_crc_field + 4);

// Zeroes the bytes that the seal leaves out, in the first `length` bytes of
// a stub file whose seal record begins at `seal_offset`.
void blank_unsealed_bytes(uint8_t* bytes, uint32_t length, uint32_t seal_offset);

// The CRC-32 of the first `length` bytes with the left-out bytes taken as
// zero. The bytes are blanked in place.
uint32_t seal_crc(uint8_t* bytes, uint32_t length, uint32_t seal_offset);
