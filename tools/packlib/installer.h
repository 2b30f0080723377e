// The one writer of installers: stub, padding, header, records, run
// record and trailer, in order, from streams held in memory or spooled.
// `sfxpack create` writes through it to files (a head and its volumes),
// the tests to memory through `build_installer`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/pe_image.h"
#include "tools/packlib/compress.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace packlib {

// Where an installer's bytes go, in order.
using InstallerSink = std::function<void(const uint8_t* bytes, size_t count)>;

// The zero bytes between stub and header that make the installer's length
// a multiple of 8 (code signing then appends its table right behind the
// trailer), and the length that results.
struct InstallerSize {
  size_t padding = 0;
  size_t total = 0;
};
InstallerSize installer_size(size_t stub_length, const std::vector<Stream>& streams,
                             const std::optional<std::string>& run_command);

// Writes the stub and the package to `out`: `options` go to the header,
// and with `layout::option_checksum` a first pass over the header (where
// `layout::option_checksum_header` asks) and the body fills in the
// checksum. Streams held in memory are let go as they are written.
// Throws on a name or command too long to store, or an installer of 2 GiB
// or more.
void write_installer(const Bytes& stub, std::vector<Stream>& streams,
                     const std::optional<std::string>& run_command, uint8_t options,
                     const InstallerSink& out);

// Writes an installer's bytes in order, into one file or across a head and
// its volumes, each first under a temporary name that is renamed into place
// once all are complete, so a failed run leaves no half-written output.
class InstallerWriter {
public:
  // `pieces[i]` is written with `sizes[i]` bytes; the last takes the rest.
  InstallerWriter(std::vector<std::filesystem::path> pieces, std::vector<size_t> sizes);
  ~InstallerWriter();
  void write(const uint8_t* bytes, size_t count);
  // The first piece (the installer, or a set's head) is a PE file whose
  // checksum field at `field` is to hold the checksum of what it holds.
  void keep_pe_checksum(uint32_t field);
  // Fills in the checksum, gives every piece its fixed mode (the head a
  // program's, volumes data's), takes each one's SHA-256 and renames it
  // into place, replacing whatever stands at its name, never following it.
  // Once created, a piece is reached only through its open file, so that
  // nobody who can write to its directory can redirect any of this.
  void finish();
  // The SHA-256 of each piece as written, after `finish`.
  const std::vector<std::string>& digests() const { return digests_; }

private:
  void open_piece();

  std::vector<std::filesystem::path> pieces_;
  std::vector<size_t> sizes_;
  std::vector<File> files_;   // every piece, open
  std::FILE* file_ = nullptr; // the one being written
  std::vector<std::string> digests_;
  size_t index_ = 0;
  uint64_t written_ = 0;
  bool done_ = false;
  std::optional<PeChecksum> checksum_;
};

// The same installer in memory, for tests: stub, padding, header, records,
// optional run record, trailer, with the PE checksum filled in.
Bytes build_installer(std::span<const uint8_t> stub, const std::vector<StoredFile>& files,
                      const std::optional<std::string>& run_command, uint8_t options = 0);

} // namespace packlib
