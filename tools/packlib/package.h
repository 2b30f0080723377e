// Writing and reading packages: the packaging tool's side of the layout.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/name_check.h"

namespace packlib {

using Bytes = std::vector<uint8_t>;

// A zlib stream (RFC 1950) of `content`; level -1 is zlib's default, and
// `window_bits` 9 to 15 choose the window.
Bytes deflate_stream(std::span<const uint8_t> content, int level = -1, int window_bits = 15);

// The zlib stream that sfxpack stores for `content` at level 0 to 12: zlib's
// deflate for 0 to 9 (6 by default, the same bytes as ever), libdeflate's
// optimal parsing for 10 to 12 (smaller, slower). The stubs inflate either.
Bytes compress_stream(std::span<const uint8_t> content, int level = 6);

// Inflates one whole zlib stream; nothing when it is damaged, cut short,
// needs a dictionary or has bytes left behind its end.
std::optional<Bytes> inflate_stream(std::span<const uint8_t> stream);

// Appends the parts of a package byte by byte. Tests use it to craft
// packages, valid or not; the tool through `build_installer` (installer.h).
class PackageBuilder {
public:
  explicit PackageBuilder(std::span<const uint8_t> stub);
  PackageBuilder& header(); // the magic and 11 NUL bytes
  PackageBuilder& record(const std::string& name, std::span<const uint8_t> stream);
  // A file record up to its stream, which the caller appends.
  PackageBuilder& record_head(const std::string& name, uint32_t stream_size);
  PackageBuilder& run(const std::string& command); // run record and the one NUL of the gap
  PackageBuilder& trailer();                       // trailer marker and the package offset
  // Sets the header's option set; `seal_checksum` also sets the checksum
  // option and writes the CRC-32 of the body (and of the header, where its
  // options ask for that), once the trailer is there.
  PackageBuilder& options(uint8_t options);
  PackageBuilder& seal_checksum();
  PackageBuilder& u8(uint8_t value);
  PackageBuilder& u32(uint32_t value);
  PackageBuilder& raw(std::span<const uint8_t> bytes);
  PackageBuilder& raw(const std::string& text);
  uint32_t package_offset() const { return package_offset_; }
  Bytes& bytes() { return bytes_; }

private:
  Bytes bytes_;
  uint32_t package_offset_;
};

struct StoredFile {
  std::string name;
  Bytes stream;
};

// The bytes of a package (header to trailer) of files with these names and
// stream sizes and the run record.
size_t package_length(const std::vector<std::pair<std::string, uint64_t>>& files,
                      const std::optional<std::string>& run_command);

// The zero bytes between stub and header that make an installer's length a
// multiple of 8.
size_t alignment_padding(size_t stub_length, size_t package_length);

// A split set's head: at least the whole stub, otherwise the piece size,
// both kept to multiples of 8; at most the whole installer.
size_t split_head_size(size_t installer_size, size_t stub_length, size_t piece_size);

// The sizes of a split set's head and volumes; throws when that takes more
// than 200 files, or the stub cannot hold a split-set header.
std::vector<size_t> split_piece_sizes(size_t installer_size, size_t stub_length, size_t piece_size);

// Fills in the PE checksum of a Windows executable file (nothing for any
// other file), as the system's image tools compute it.
void set_pe_checksum(Bytes& file);

// Cuts an installer into a head and volumes of at most `piece_size` bytes
// each (the head at least the whole stub) and writes the split-set header
// into the head. Throws when that takes more than 200 files.
std::vector<Bytes> split_installer(std::span<const uint8_t> installer, uint32_t stub_length,
                                   uint32_t piece_size);

// A volume's file name: the head's with its extension made ".F" and two
// upper-case hexadecimal digits.
std::string volume_name(const std::string& head_path, int number);

// Bytes in memory as the format's byte source.
struct MemorySource {
  std::span<const uint8_t> bytes;
  uint32_t position = 0;
};
int32_t read_memory(void* context, void* buffer, int32_t count);
uint32_t seek_memory(void* context, int32_t offset, int origin);

// An installer in memory as a byte source, as the stub reads its own file.
struct InstallerSource {
  explicit InstallerSource(std::span<const uint8_t> installer)
      : memory{installer}, source{&memory, read_memory, seek_memory} {}
  InstallerSource(const InstallerSource&) = delete;
  MemorySource memory;
  ByteSource source;
};

struct ListedFile {
  std::string name;
  uint64_t stream_offset = 0;
  uint32_t stored_size = 0;
};

struct Listing {
  uint32_t package_offset = 0;
  uint32_t trailer = 0;
  PackageOptions options;
  uint32_t checksum = 0; // as the header holds it
  std::vector<ListedFile> files;
  std::optional<std::string> run_command;
};

// Walks an installer by the stub's rules, with the stub's own reader: `ok`
// or the verdict on which the stub would show its message.
Verdict walk_installer(std::span<const uint8_t> installer, Listing* listing);

// Where the package data ends: at the start of a code-signing certificate
// table that ends the file, else at its end. Less than the size means the
// file is signed.
size_t package_data_end(std::span<const uint8_t> file);

// The stub's own message for a verdict, then what it means in parentheses.
std::string verdict_line(Verdict verdict);

// The listing of an installer; throws std::runtime_error with the verdict's
// text where the stub would show a message.
Listing read_installer(std::span<const uint8_t> installer);

} // namespace packlib
