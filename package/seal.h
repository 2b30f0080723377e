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

// Size of the seal's value fields (offset, length, CRC) behind its mark.
inline constexpr uint32_t seal_value_size = 12;

// Zeroes the bytes that the seal leaves out, in the first `length` bytes of
// a stub file whose seal record begins at `seal_offset`.
void blank_unsealed_bytes(uint8_t* bytes, uint32_t length, uint32_t seal_offset);

// The CRC-32 of the first `length` bytes with the left-out bytes taken as
// zero. The bytes are blanked in place.
uint32_t seal_crc(uint8_t* bytes, uint32_t length, uint32_t seal_offset);
