// Writing installers, and the in-memory build the tests use.
#include "tools/packlib/installer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "package/layout.h"
#include "support/base/bytes.h"
#include "support/inflate/crc32.h"
#include "tools/packlib/host.h"
#include "tools/packlib/package.h"
#include "tools/packlib/pending.h"
#include "tools/packlib/sha256.h"

namespace fs = std::filesystem;

namespace packlib {

namespace {

// Hands the package's body (the records and the run record with its gap)
// to `emit` piece by piece, with the streams taken from memory or their
// spool files; `last_pass` lets go of the streams held in memory.
void emit_body(std::vector<Stream>& streams, const std::optional<std::string>& run_command,
               bool last_pass, const InstallerSink& emit) {
  PackageBuilder builder((Bytes()));
  std::vector<uint8_t> chunk(1 << 20);
  for (Stream& stream : streams) {
    builder.bytes().clear();
    builder.record_head(stream.name, uint32_t(stream.size));
    emit(builder.bytes().data(), builder.bytes().size());
    if (stream.spool.empty()) {
      emit(stream.bytes.data(), stream.bytes.size());
      if (last_pass)
        Bytes().swap(stream.bytes);
      continue;
    }
    File in(open_file(stream.spool, "rb"));
    size_t count;
    while (in && (count = std::fread(chunk.data(), 1, chunk.size(), in.get())) > 0)
      emit(chunk.data(), count);
    if (!in || std::ferror(in.get()))
      throw std::runtime_error(shown_path(stream.spool) + ": cannot read");
  }
  builder.bytes().clear();
  if (run_command)
    builder.run(*run_command);
  emit(builder.bytes().data(), builder.bytes().size());
}

} // namespace

InstallerWriter::InstallerWriter(std::vector<fs::path> pieces, std::vector<size_t> sizes)
    : pieces_(std::move(pieces)), sizes_(std::move(sizes)) {}

InstallerWriter::~InstallerWriter() {
  files_.clear();
  if (!done_)
    for (const fs::path& piece : pieces_) {
      std::error_code ignored;
      fs::remove(temporary_name(piece), ignored);
    }
}

void InstallerWriter::write(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    if (!file_ || (index_ + 1 < pieces_.size() && written_ == sizes_[index_])) {
      if (file_)
        ++index_;
      open_piece();
    }
    uint64_t room = index_ + 1 < pieces_.size() ? sizes_[index_] - written_ : count;
    size_t part = size_t(std::min<uint64_t>(room, count));
    if (std::fwrite(bytes, 1, part, file_) != part)
      throw std::runtime_error(shown_path(temporary_name(pieces_[index_])) + ": cannot write");
    if (checksum_ && index_ == 0)
      add_to_pe_checksum(*checksum_, bytes, uint32_t(part));
    written_ += part, bytes += part, count -= part;
  }
}

void InstallerWriter::keep_pe_checksum(uint32_t field) {
  checksum_.emplace();
  checksum_->field = field;
}

namespace {

// The SHA-256 of an open file's bytes, read back from its start.
std::string digest_of(std::FILE* file) {
  Sha256 sha;
  std::vector<uint8_t> block(1 << 16);
  size_t count;
  if (std::fseek(file, 0, SEEK_SET) != 0)
    return std::string();
  while ((count = std::fread(block.data(), 1, block.size(), file)) > 0)
    sha.add(block.data(), count);
  return std::ferror(file) ? std::string() : sha.hex();
}

} // namespace

void InstallerWriter::finish() {
  if (!file_)
    open_piece();
  if (checksum_) {
    uint8_t value[4];
    store_u32(value, pe_checksum_value(*checksum_));
    std::FILE* head = files_[0].get();
    if (std::fseek(head, long(checksum_->field), SEEK_SET) != 0 ||
        std::fwrite(value, 1, 4, head) != 4)
      throw std::runtime_error(shown_path(temporary_name(pieces_[0])) + ": cannot write");
  }
  // Only the head runs: volumes are plain data, whatever an earlier set's
  // were.
  for (size_t i = 0; i < files_.size(); ++i) {
    std::FILE* file = files_[i].get();
    std::string name = utf8_text(temporary_name(pieces_[i]));
    if (std::fflush(file) != 0)
      throw std::runtime_error(name + ": cannot write");
    set_written_mode(file, i == 0);
    digests_.push_back(digest_of(file));
    if (digests_.back().empty())
      throw std::runtime_error(name + ": cannot read back");
  }
  files_.clear();
  for (const fs::path& piece : pieces_) {
    std::error_code error;
    fs::rename(temporary_name(piece), piece, error);
    if (error)
      throw std::runtime_error(shown_path(piece) +
                               ": cannot rename into place: " + error.message());
  }
  done_ = true;
}

void InstallerWriter::open_piece() {
  fs::path path = temporary_name(pieces_[index_]);
  note_pending(path);
  file_ = create_exclusive(path);
  if (!file_)
    throw std::runtime_error(shown_path(path) + ": cannot create: " + std::strerror(errno));
  files_.emplace_back(file_);
  written_ = 0;
}

InstallerSize installer_size(size_t stub_length, const std::vector<Stream>& streams,
                             const std::optional<std::string>& run_command) {
  std::vector<std::pair<std::string, uint64_t>> sizes;
  for (const Stream& stream : streams)
    sizes.push_back({stream.name, stream.size});
  size_t package = package_length(sizes, run_command);
  size_t padding = alignment_padding(stub_length, package);
  return {padding, stub_length + padding + package};
}

void write_installer(const Bytes& stub, std::vector<Stream>& streams,
                     const std::optional<std::string>& run_command, uint8_t options,
                     const InstallerSink& out) {
  for (const Stream& stream : streams)
    if (stream.name.size() > size_t(layout::longest_name))
      throw std::runtime_error("name longer than 253 bytes: " + stream.name);
  if (run_command && run_command->size() > layout::largest_length)
    throw std::runtime_error("setup command longer than 254 bytes");
  InstallerSize size = installer_size(stub.size(), streams, run_command);
  if (size.total > layout::largest_compressed_size)
    throw std::runtime_error("installer larger than 2 GiB - 1");
  Bytes padded = stub;
  padded.resize(stub.size() + size.padding, 0);
  PackageBuilder builder(padded);
  builder.header().options(options);
  uint8_t* header = builder.bytes().data() + padded.size();
  if (options & layout::option_checksum) {
    uint32_t crc = header_checksum_start(header);
    emit_body(streams, run_command, false, [&](const uint8_t* bytes, size_t count) {
      crc = crc32_fast_update(crc, bytes, count);
    });
    store_u32(header + layout::checksum_offset, crc);
  }
  out(builder.bytes().data(), builder.bytes().size());
  emit_body(streams, run_command, true, out);
  builder.bytes().clear();
  builder.trailer();
  out(builder.bytes().data(), builder.bytes().size());
}

Bytes build_installer(std::span<const uint8_t> stub, const std::vector<StoredFile>& files,
                      const std::optional<std::string>& run_command, uint8_t options) {
  std::vector<Stream> streams;
  for (const StoredFile& file : files)
    streams.push_back({file.name, file.stream.size(), file.stream, {}});
  Bytes installer;
  write_installer(Bytes(stub.begin(), stub.end()), streams, run_command, options,
                  [&](const uint8_t* bytes, size_t count) {
                    installer.insert(installer.end(), bytes, bytes + count);
                  });
  set_pe_checksum(installer);
  return installer;
}

} // namespace packlib
