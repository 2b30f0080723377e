// The package format, read and written by one piece of code: fields read "from zero", the trailer
// and header checks, the record walk, the split-set header and the names of a split set's volumes.
//
// Pure code over bytes and over a byte source, with no heap and no OS
// calls, so that the stub, the packaging tool and the tests all read a
// package by the same rules and reach the same verdicts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/layout.h"
#include "package/verdicts.h"
#include "support/base/bytes.h"

// ---- the byte source -------------------------------------------------------

// Where a package's bytes come from: the stub's own file, or bytes in memory.
// Positions are 32-bit, as the stub addresses its file.
struct ByteSource {
  void* context;
  // Up to `count` bytes from the current position: the count read (0 at the
  // end, possibly short), or -1.
  int32_t (*read)(void* context, void* buffer, int32_t count);
  // Moves the position (origin 0 from the start, 1 from the current
  // position, 2 from the end): the new position, or -1 (all bits set).
  uint32_t (*seek)(void* context, int32_t offset, int origin);
};

// A 32-bit field read from zero: bytes the source does not have leave zero
// bits. `*complete` (when given) tells whether all four came back.
uint32_t read_u32_from_zero(const ByteSource& source, bool* complete = nullptr);

// A length byte read from zero.
uint8_t read_u8_from_zero(const ByteSource& source);

// A name or command field of `length` bytes read into `field`, which is
// zeroed first: its text ends at the first NUL, or where the field (or the
// source) ends. Answers the text's length.
int32_t read_text_field(const ByteSource& source, uint8_t length, char (&field)[256]);

// ---- reading a package -----------------------------------------------------

// Whether the first six of `count` header bytes are the magic and its NUL.
bool is_package_header(const uint8_t* header, int32_t count);

// The header's option set, as one value that tells each option by name:
// read from the header once and passed on.
struct PackageOptions {
  uint8_t bits = 0; // layout::option_*
  // Names and the command are UTF-8.
  constexpr bool utf8() const { return bits & layout::option_utf8; }
  // The stub waits for the setup command.
  constexpr bool wait() const { return bits & layout::option_wait; }
  // The header holds the CRC-32 of the body...
  constexpr bool checksum() const { return bits & layout::option_checksum; }
  // ... which starts with the header's own bytes.
  constexpr bool checksum_header() const { return bits & layout::option_checksum_header; }
  // The stub reads options from its command line.
  constexpr bool reads_options() const { return bits & layout::option_command_line; }
};

// Where the package lies in its source.
struct PackageLocation {
  uint32_t package_offset = 0;
  uint32_t trailer = 0; // the trailer's position; the package data ends 8 bytes behind it
  PackageOptions options;
  uint32_t checksum = 0;
  uint32_t checksum_start = 0; // the CRC-32 of the header where the checksum covers it
};

// The CRC-32 that a package checksum starts from: that of the 16 header
// bytes with the checksum field as zero where the header's options ask for
// it to be covered, else 0. Writers and readers share it.
uint32_t header_checksum_start(const uint8_t* header);

// Where the package data ends in a source of `size` bytes: at the start of a
// code-signing certificate table that ends the file (named by the PE
// security directory), else at the end.
uint32_t package_data_end(const ByteSource& source, uint32_t size);

// Finds the package through the trailer and checks its header; on success
// the source stands just behind the header. A header that carries a
// checksum without its option is `checksum_mismatch`. The trailer is the last 8 bytes
// before the end of the package data; in a signed file up to 7 zero bytes
// of alignment may follow it.
Verdict locate_package(const ByteSource& source, PackageLocation* location);

// `ok` when the package asks for no checksum or its body (from behind the
// header up to the trailer, read through `buffer` of `size` bytes) has the
// CRC-32 the header holds, else `checksum_mismatch`. The source is left
// behind the header.
Verdict check_package(const ByteSource& source, const PackageLocation& location, uint8_t* buffer,
                      int32_t size);

// What the record walk hands over, in the order it reads the package.
struct RecordVisitor {
  void* context;
  // A file record's name (the field's text), read before its size.
  Verdict (*file_name)(void* context, const char* name, int32_t length);
  // The record's stream of `size` bytes, which lies inside the package,
  // stands at the source's position; the visitor reads or skips exactly it.
  Verdict (*file_stream)(void* context, uint32_t size);
  // The run record's command (the field's text, possibly empty).
  Verdict (*run_command)(void* context, const char* command, int32_t length);
};

// Walks the records from the source's position (just behind the header) to
// the run record or the trailer at `location.trailer`: the records must end
// at one of them, and each stream must lie inside the package. Stops at the
// first verdict that is not `ok`, the visitor's included.
Verdict walk_records(const ByteSource& source, const PackageLocation& location,
                     const RecordVisitor& visitor);

// True when the source's trailer points at a package header inside it, its
// checksum (where the package asks for one) matches, and the records'
// sizes walk from there to the run record or to the trailer itself: a file
// cut short or padded out fails. Nothing is inflated. `buffer` of `size`
// bytes is scratch for the checksum; the package's options go to
// `*options`.
bool is_whole_package(const ByteSource& source, uint8_t* buffer, int32_t size,
                      PackageOptions* options);

// ---- split sets ------------------------------------------------------------

// Whether the 8 bytes at `bytes` (file offsets 128 to 135) are a head's
// split-set header; the announced number of files goes to `*volume_count`.
bool is_split_set_header(const uint8_t* bytes, int32_t* volume_count);

// Writes a head's split-set header into the 8 bytes at `bytes`.
void store_split_set_header(uint8_t* bytes, int32_t volume_count);

// ".F" and two upper-case hexadecimal digits of `number`, with a NUL: the
// extension that volume `number` of a split set takes in place of the
// head's (from `extension_position` on).
void volume_extension(int32_t number, char (&extension)[5]);
