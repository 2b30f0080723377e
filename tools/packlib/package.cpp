// Building, splitting and reading packages.
#include "tools/packlib/package.h"

#include <cstring>
#include <stdexcept>
#include <zlib.h>

#include "package/layout.h"

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
  deflateEnd(&stream);
  if (result != Z_STREAM_END)
    throw std::runtime_error("deflate failed");
  out.resize(stream.total_out);
  return out;
}

std::optional<Bytes> inflate_stream(std::span<const uint8_t> stream_bytes) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK)
    return std::nullopt;
  Bytes out;
  stream.next_in = const_cast<Bytef*>(stream_bytes.data());
  stream.avail_in = uInt(stream_bytes.size());
  uint8_t block[1 << 16];
  int result;
  do {
    stream.next_out = block;
    stream.avail_out = sizeof block;
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), block, block + (sizeof block - stream.avail_out));
  } while (result == Z_OK && !(stream.avail_in == 0 && stream.avail_out != 0));
  inflateEnd(&stream);
  if (result != Z_STREAM_END)
    return std::nullopt;
  return out;
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
  raw(std::string("VKZip"));
  for (int i = 0; i < 11; ++i)
    u8(0);
  return *this;
}

PackageBuilder& PackageBuilder::record(const std::string& name, std::span<const uint8_t> stream) {
  u32(layout::record_marker).u8(uint8_t(name.size() + 1)).raw(name).u8(0);
  return u32(uint32_t(stream.size())).raw(stream);
}

PackageBuilder& PackageBuilder::run(const std::string& command) {
  return u32(layout::run_marker).u8(uint8_t(command.size())).raw(command).u8(0);
}

PackageBuilder& PackageBuilder::trailer() {
  return u32(layout::trailer_marker).u32(package_offset_);
}

Bytes build_installer(std::span<const uint8_t> stub, const std::vector<StoredFile>& files,
                      const std::optional<std::string>& run_command) {
  PackageBuilder builder(stub);
  builder.header();
  for (const StoredFile& file : files) {
    if (file.name.size() > size_t(layout::longest_name))
      throw std::runtime_error("name longer than 253 bytes: " + file.name);
    builder.record(file.name, file.stream);
  }
  if (run_command) {
    if (run_command->size() > layout::largest_length)
      throw std::runtime_error("setup command longer than 254 bytes");
    builder.run(*run_command);
  }
  builder.trailer();
  if (builder.bytes().size() > 0x7FFFFFFF)
    throw std::runtime_error("installer larger than 2 GiB - 1");
  return std::move(builder.bytes());
}

std::vector<Bytes> split_installer(std::span<const uint8_t> installer, uint32_t stub_length,
                                   uint32_t piece_size) {
  if (piece_size == 0)
    throw std::runtime_error("split size must be at least 1 byte");
  if (stub_length < uint32_t(layout::split_set_offset + layout::split_set_header_size))
    throw std::runtime_error("stub too short to hold a split-set header");
  size_t head_size = std::min<size_t>(installer.size(), std::max<size_t>(stub_length, piece_size));
  size_t rest = installer.size() - head_size;
  size_t count = 1 + (rest + piece_size - 1) / piece_size;
  if (count > size_t(layout::largest_volume_count))
    throw std::runtime_error("the split set would have " + std::to_string(count) +
                             " files; at most 200 are allowed (choose a larger size)");
  std::vector<Bytes> pieces;
  pieces.emplace_back(installer.begin(), installer.begin() + head_size);
  for (size_t at = head_size; at < installer.size(); at += piece_size) {
    size_t end = std::min<size_t>(installer.size(), at + piece_size);
    pieces.emplace_back(installer.begin() + at, installer.begin() + end);
  }
  Bytes& head = pieces.front();
  for (int i = 0; i < 4; ++i) {
    head[layout::split_set_offset + i] = uint8_t(layout::split_set_marker >> (8 * i));
    head[layout::volume_count_offset + i] = uint8_t(uint32_t(count) >> (8 * i));
  }
  return pieces;
}

std::string volume_name(const std::string& head_path, int number) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string extension = ".F";
  extension += digits[(number >> 4) & 15];
  extension += digits[number & 15];
  size_t dot = head_path.rfind('.');
  if (dot == std::string::npos || dot == 0)
    return head_path + extension;
  return head_path.substr(0, dot) + extension;
}

namespace {

class Cursor {
public:
  explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  void seek(uint64_t position) { position_ = position; }
  uint64_t position() const { return position_; }
  uint64_t left() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }
  // Read from zero: missing bytes read as zero bits.
  uint32_t u32(bool* complete = nullptr) {
    uint32_t value = 0;
    int got = 0;
    for (; got < 4 && position_ < bytes_.size(); ++got)
      value |= uint32_t(bytes_[position_++]) << (8 * got);
    if (complete)
      *complete = got == 4;
    return value;
  }
  uint8_t u8() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }
  std::string text(uint8_t length) {
    std::string field;
    for (int i = 0; i < length && position_ < bytes_.size(); ++i)
      field += char(bytes_[position_++]);
    return field.substr(0, field.find('\0'));
  }

private:
  std::span<const uint8_t> bytes_;
  uint64_t position_ = 0;
};

} // namespace

Listing read_installer(std::span<const uint8_t> installer) {
  Listing listing;
  if (installer.size() < size_t(layout::trailer_size))
    throw std::runtime_error("file shorter than the 8-byte trailer");
  Cursor cursor(installer);
  cursor.seek(installer.size() - layout::trailer_size);
  if (cursor.u32() != layout::trailer_marker)
    throw std::runtime_error("no package trailer (not an installer)");
  listing.package_offset = cursor.u32();
  if (listing.package_offset > 0x7FFFFFFF)
    throw std::runtime_error("package offset out of range");
  cursor.seek(listing.package_offset);
  if (cursor.left() < 6 ||
      std::memcmp(installer.data() + listing.package_offset, layout::magic, 6) != 0)
    throw std::runtime_error("no package header at the package offset");
  cursor.seek(listing.package_offset + layout::header_size);
  bool complete = false;
  uint32_t marker = cursor.u32(&complete);
  while (complete && marker == layout::record_marker) {
    uint8_t length = cursor.u8();
    if (length == layout::rejected_length)
      throw std::runtime_error("record name length 255");
    ListedFile file;
    file.name = cursor.text(length);
    file.stored_size = cursor.u32();
    if (file.stored_size > cursor.left())
      throw std::runtime_error("stream of " + file.name + " cut short");
    file.stream_offset = cursor.position();
    cursor.seek(cursor.position() + file.stored_size);
    listing.files.push_back(file);
    marker = cursor.u32(&complete);
  }
  if (complete && marker == layout::run_marker) {
    uint8_t length = cursor.u8();
    if (length == layout::rejected_length)
      throw std::runtime_error("run record length 255");
    listing.run_command = cursor.text(length);
  } else if (!complete || marker != layout::trailer_marker ||
             cursor.position() != installer.size() - layout::trailer_size + layout::marker_size) {
    throw std::runtime_error("the records end at neither the run record nor the trailer");
  }
  return listing;
}

} // namespace packlib
