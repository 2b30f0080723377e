// The byte layout of a package and of the split-set header: the one home of
// its named values, shared by the stub's reader and the packaging tool.
//
// A package follows the stub in the same file: a 16-byte header, file
// records, an optional run record and an 8-byte trailer. All integers are
// unsigned little-endian.
#pragma once

#include <cstdint>

namespace layout {

inline constexpr uint32_t trailer_marker = 0x77777777;
inline constexpr uint32_t record_marker = 0xE0E0E0E0;
inline constexpr uint32_t run_marker = 0x88888888;
inline constexpr uint32_t split_set_marker = 0x12345678;

// The split-set header in a head's stub bytes.
inline constexpr int32_t split_set_offset = 128;
inline constexpr int32_t volume_count_offset = 132;
inline constexpr int32_t split_set_header_size = 8;
inline constexpr int32_t largest_volume_count = 200;

// The package header: the magic and its NUL, then ten reserved bytes, which
// writers have always left zero. Byte 6 is a set of package options;
// bytes 8 to 11 hold the package checksum when its option asks for one.
// Other bits and bytes stay zero and are not read, with one exception: a
// header whose reserved bytes are zero but for a checksum field carries a
// checksum, and without its option it is damaged (a flipped option bit
// must not turn the check off).
constexpr char magic[6] = {'V', 'K', 'Z', 'i', 'p', '\0'};
inline constexpr int32_t header_size = 16;
inline constexpr int32_t options_offset = 6;
inline constexpr int32_t checksum_offset = 8;
// Names and the setup command are UTF-8, not the system's ANSI code page.
inline constexpr uint8_t option_utf8 = 0x01;
// The stub waits for the setup command and ends with its exit code.
inline constexpr uint8_t option_wait = 0x02;
// Bytes 8 to 11 hold the CRC-32 of every byte behind the header up to the
// trailer.
inline constexpr uint8_t option_checksum = 0x04;
// The stub reads its command line as options (--target, --list, --quiet,
// ...), not only the target directory as its first argument.
inline constexpr uint8_t option_command_line = 0x08;
// With the checksum: the CRC-32 starts with the header's 16 bytes, its
// checksum field as zero, so that the options and the reserved bytes are
// checked too.
inline constexpr uint8_t option_checksum_header = 0x80;

// The trailer: the trailer marker and the package offset.
inline constexpr int32_t trailer_size = 8;

inline constexpr int32_t marker_size = 4;

// The shortest file record: marker, length byte and compressed size. A gap
// of fewer bytes behind the records cannot hide one.
inline constexpr int32_t shortest_record = 9;

// Length bytes of names and commands: 255 is rejected.
inline constexpr uint8_t largest_length = 254;
inline constexpr uint8_t rejected_length = 255;
// A writer counts the name's NUL in its length byte.
inline constexpr int32_t longest_name = largest_length - 1;

// Compressed sizes are below 2^31.
inline constexpr uint32_t largest_compressed_size = 0x7FFFFFFF;

} // namespace layout
