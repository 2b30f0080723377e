// Building, splitting and reading packages.
#include "tools/packlib/package.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <new>
#include <stdexcept>
#include <zlib.h>

#include "package/format.h"
#include "package/name_check.h"
#include "package/pe_image.h"
#include "support/base/c_string.h"
#include "support/inflate/crc32.h"
#include "support/inflate/inflate_stream.h"

namespace packlib {

Bytes deflate_stream(std::span<const uint8_t> content, int level, int window_bits) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  Bytes out(deflateBound(&stream, uLong(content.size())));
  stream.next_in = const_cast<Bytef*>(content.data());
  stream.avail_in = uInt(content.size());
  stream.next_out = out.data();
  stream.avail_out = uInt(out.size());
  int result = deflate(&stream, Z_FINISH);
  // zlib's bound falls a few bytes short for tiny contents in small
  // windows: the output grows until the stream ends.
  while (result == Z_OK || result == Z_BUF_ERROR) {
    size_t done = out.size() - stream.avail_out;
    out.resize(out.size() + 64);
    stream.next_out = out.data() + done;
    stream.avail_out = uInt(out.size() - done);
    result = deflate(&stream, Z_FINISH);
  }
  deflateEnd(&stream);
  if (result != Z_STREAM_END)
    throw std::runtime_error("deflate failed");
  out.resize(stream.total_out);
  return out;
}

Bytes compress_stream(std::span<const uint8_t> content, int level) {
  if (level <= 9)
    return deflate_stream(content, level);
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (!compressor)
    throw std::runtime_error("compression level out of range");
  Bytes out(libdeflate_zlib_compress_bound(compressor, content.size()));
  size_t size =
      libdeflate_zlib_compress(compressor, content.data(), content.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  if (size == 0)
    throw std::runtime_error("compression failed");
  out.resize(size);
  out.shrink_to_fit(); // callers keep many streams: no room beyond the stream
  return out;
}

namespace {

// The stored bytes in memory and the inflated bytes collected.
struct MemoryPipes {
  std::span<const uint8_t> stored;
  size_t position = 0;
  Bytes out;
  bool exhausted = false; // memory ran out while collecting
};

int32_t read_stored(void* context, void* buffer, int32_t count) noexcept {
  MemoryPipes& pipes = *static_cast<MemoryPipes*>(context);
  size_t taken = std::min(size_t(count), pipes.stored.size() - pipes.position);
  std::memcpy(buffer, pipes.stored.data() + pipes.position, taken);
  pipes.position += taken;
  return int32_t(taken);
}

// The engine is the stub's code, built without exceptions: none may pass
// through it, so running out of memory stops the stream here and is
// thrown again once the engine has returned.
bool collect(void* context, const void* bytes, int32_t count) noexcept {
  MemoryPipes& pipes = *static_cast<MemoryPipes*>(context);
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  try {
    pipes.out.insert(pipes.out.end(), from, from + count);
  } catch (const std::bad_alloc&) {
    pipes.exhausted = true;
    return false;
  }
  return true;
}

} // namespace

// The stub's own inflate loop, so that tool and stub reach one verdict on
// every stream.
std::optional<Bytes> inflate_stream(std::span<const uint8_t> stream_bytes) {
  if (stream_bytes.size() > layout::largest_compressed_size)
    return std::nullopt;
  MemoryPipes pipes{stream_bytes, 0, {}};
  // One work area a thread, taken once: verifying many small files would
  // otherwise spend its time clearing fresh pages.
  static thread_local std::vector<uint8_t> work(inflate_work_size);
  InflateOutcome outcome = ::inflate_stream(
      uint32_t(stream_bytes.size()), InflatePipes{&pipes, read_stored, collect}, work.data());
  if (pipes.exhausted)
    throw std::bad_alloc();
  if (outcome != InflateOutcome::inflated)
    return std::nullopt;
  return std::move(pipes.out);
}

PackageBuilder::PackageBuilder(std::span<const uint8_t> stub)
    : bytes_(stub.begin(), stub.end()), package_offset_(uint32_t(stub.size())) {}

PackageBuilder& PackageBuilder::u8(uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

PackageBuilder& PackageBuilder::u32(uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes_.push_back(uint8_t(value >> (8 * i)));
  return *this;
}

PackageBuilder& PackageBuilder::raw(std::span<const uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

PackageBuilder& PackageBuilder::raw(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

PackageBuilder& PackageBuilder::header() {
  raw(std::span(reinterpret_cast<const uint8_t*>(layout::magic), sizeof layout::magic));
  return raw(Bytes(layout::header_size - sizeof layout::magic, 0));
}

PackageBuilder& PackageBuilder::record_head(const std::string& name, uint32_t stream_size) {
  u32(layout::record_marker).u8(uint8_t(name.size() + 1)).raw(name).u8(0);
  return u32(stream_size);
}

PackageBuilder& PackageBuilder::record(const std::string& name, std::span<const uint8_t> stream) {
  return record_head(name, uint32_t(stream.size())).raw(stream);
}

size_t package_length(const std::vector<std::pair<std::string, uint64_t>>& files,
                      const std::optional<std::string>& run_command) {
  size_t length = size_t(layout::header_size + layout::trailer_size);
  for (const auto& [name, stream_size] : files)
    length += layout::marker_size + 1 + name.size() + 1 + 4 + stream_size;
  if (run_command)
    length += layout::marker_size + 1 + run_command->size() + 1;
  return length;
}

size_t alignment_padding(size_t stub_length, size_t package_length) {
  return (8 - (stub_length + package_length) % 8) % 8;
}

size_t split_head_size(size_t installer_size, size_t stub_length, size_t piece_size) {
  return std::min(installer_size, std::max((stub_length + 7) / 8 * 8, piece_size / 8 * 8));
}

PackageBuilder& PackageBuilder::run(const std::string& command) {
  return u32(layout::run_marker).u8(uint8_t(command.size())).raw(command).u8(0);
}

PackageBuilder& PackageBuilder::trailer() {
  return u32(layout::trailer_marker).u32(package_offset_);
}

PackageBuilder& PackageBuilder::options(uint8_t options) {
  bytes_[package_offset_ + layout::options_offset] = options;
  return *this;
}

PackageBuilder& PackageBuilder::seal_checksum() {
  bytes_[package_offset_ + layout::options_offset] |= layout::option_checksum;
  store_u32(bytes_.data() + package_offset_ + layout::checksum_offset, 0);
  size_t body = package_offset_ + layout::header_size;
  uint32_t crc =
      crc32_fast_update(header_checksum_start(bytes_.data() + package_offset_),
                        bytes_.data() + body, bytes_.size() - layout::trailer_size - body);
  store_u32(bytes_.data() + package_offset_ + layout::checksum_offset, crc);
  return *this;
}

void set_pe_checksum(Bytes& file) {
  PeFields fields = pe_fields(file.data(), uint32_t(file.size()));
  if (fields.valid && fields.checksum + 4 <= file.size())
    store_u32(file.data() + fields.checksum,
              pe_checksum(file.data(), uint32_t(file.size()), fields));
}

std::vector<size_t> split_piece_sizes(size_t installer_size, size_t stub_length,
                                      size_t piece_size) {
  if (piece_size == 0)
    throw std::runtime_error("split size must be at least 1 byte");
  if (stub_length < size_t(layout::split_set_offset + layout::split_set_header_size))
    throw std::runtime_error("stub too short to hold a split-set header");
  // The head's length is a multiple of 8 too, so that signing it adds no
  // bytes between its piece and the next volume's.
  size_t head_size = split_head_size(installer_size, stub_length, piece_size);
  std::vector<size_t> sizes = {head_size};
  for (size_t at = head_size; at < installer_size; at += piece_size)
    sizes.push_back(std::min(piece_size, installer_size - at));
  if (sizes.size() > size_t(layout::largest_volume_count))
    throw std::runtime_error("the split set would have " + std::to_string(sizes.size()) +
                             " files; at most 200 are allowed (choose a larger size)");
  return sizes;
}

std::vector<Bytes> split_installer(std::span<const uint8_t> installer, uint32_t stub_length,
                                   uint32_t piece_size) {
  std::vector<Bytes> pieces;
  size_t at = 0;
  for (size_t size : split_piece_sizes(installer.size(), stub_length, piece_size)) {
    pieces.emplace_back(installer.begin() + long(at), installer.begin() + long(at + size));
    at += size;
  }
  store_split_set_header(pieces.front().data() + layout::split_set_offset, int32_t(pieces.size()));
  set_pe_checksum(pieces.front());
  return pieces;
}

std::string volume_name(const std::string& head_path, int number) {
  char extension[5];
  volume_extension(number, extension);
  return head_path.substr(0,
                          size_t(extension_position(head_path.data(), int32_t(head_path.size())))) +
         extension;
}

int32_t read_memory(void* context, void* buffer, int32_t count) {
  MemorySource& source = *static_cast<MemorySource*>(context);
  size_t left = source.position < source.bytes.size() ? source.bytes.size() - source.position : 0;
  size_t taken = std::min(left, size_t(count));
  std::memcpy(buffer, source.bytes.data() + source.position, taken);
  source.position += uint32_t(taken);
  return int32_t(taken);
}

uint32_t seek_memory(void* context, int32_t offset, int origin) {
  MemorySource& source = *static_cast<MemorySource*>(context);
  int64_t base = origin == 0 ? 0 : origin == 1 ? source.position : int64_t(source.bytes.size());
  int64_t position = base + offset;
  if (position < 0 || position > int64_t(UINT32_MAX - 1))
    return uint32_t(-1);
  source.position = uint32_t(position);
  return source.position;
}

namespace {

struct ListingWalk {
  MemorySource* source;
  Listing* listing;
};

Verdict list_name(void* context, const char* name, int32_t length) {
  static_cast<ListingWalk*>(context)->listing->files.push_back({std::string(name, size_t(length))});
  return Verdict::ok;
}

Verdict list_stream(void* context, uint32_t size) {
  ListingWalk& walk = *static_cast<ListingWalk*>(context);
  ListedFile& file = walk.listing->files.back();
  file.stream_offset = walk.source->position;
  file.stored_size = size;
  walk.source->position += size;
  return Verdict::ok;
}

Verdict list_command(void* context, const char* command, int32_t length) {
  static_cast<ListingWalk*>(context)->listing->run_command = std::string(command, size_t(length));
  return Verdict::ok;
}

// Locates the package and checks its checksum, as the stub does before it
// reads a record.
Verdict locate_checked(const ByteSource& source, PackageLocation* location) {
  Verdict verdict = locate_package(source, location);
  if (verdict != Verdict::ok)
    return verdict;
  static thread_local std::vector<uint8_t> buffer(64 << 10);
  return check_package(source, *location, buffer.data(), int32_t(buffer.size()));
}

} // namespace

std::string verdict_line(Verdict verdict) {
  char message[verdict_message_size];
  verdict_message(verdict, message);
  return std::string(message) + " (" + warning_entry(verdict).explanation + ")";
}

Verdict walk_installer(std::span<const uint8_t> installer, Listing* listing) {
  *listing = Listing();
  if (installer.size() > size_t(layout::largest_compressed_size))
    return Verdict::end_unreachable;
  InstallerSource in(installer);
  PackageLocation location;
  Verdict verdict = locate_checked(in.source, &location);
  listing->package_offset = location.package_offset;
  listing->trailer = location.trailer;
  listing->options = location.options;
  listing->checksum = location.checksum;
  if (verdict != Verdict::ok)
    return verdict;
  ListingWalk walk{&in.memory, listing};
  return walk_records(in.source, location,
                      RecordVisitor{&walk, list_name, list_stream, list_command});
}

size_t package_data_end(std::span<const uint8_t> file) {
  if (file.size() > size_t(layout::largest_compressed_size))
    return file.size();
  MemorySource memory{file};
  return ::package_data_end(ByteSource{&memory, read_memory, seek_memory}, uint32_t(file.size()));
}

Listing read_installer(std::span<const uint8_t> installer) {
  Listing listing;
  Verdict verdict = walk_installer(installer, &listing);
  if (verdict != Verdict::ok)
    throw std::runtime_error(verdict_line(verdict));
  return listing;
}

} // namespace packlib
