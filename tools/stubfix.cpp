// stubfix: the post-link step of every stub build.
//
// For a Windows stub it moves the PE headers so that they start at offset
// 256 and bytes 128 to 255 are zero: bytes 128 to 135 are the split-set
// header of a head and must have no other meaning. Then, for every stub, it
// writes the seal: the sealed length and the CRC-32 of the file into the
// marked record inside the stub. It fails when the headers do not fit or
// the record is missing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/seal.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/stub_image.h"

namespace {

constexpr uint32_t headers_offset = 256;

uint32_t load32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}
uint16_t load16(const std::vector<uint8_t>& bytes, size_t at) {
  return uint16_t(bytes[at] | bytes[at + 1] << 8);
}
void store32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = uint8_t(value >> (8 * i));
}

void move_pe_headers(std::vector<uint8_t>& bytes) {
  uint32_t old_offset = load32(bytes, 60);
  uint32_t optional_size = load16(bytes, old_offset + 20);
  uint32_t sections = load16(bytes, old_offset + 6);
  uint32_t length = 4 + 20 + optional_size + sections * 40;
  uint32_t size_of_headers = load32(bytes, old_offset + 24 + 60);
  uint32_t first_raw = UINT32_MAX;
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t raw = load32(bytes, old_offset + 24 + optional_size + i * 40 + 20);
    if (raw != 0 && raw < first_raw)
      first_raw = raw;
  }
  if (headers_offset + length > size_of_headers || headers_offset + length > first_raw)
    throw std::runtime_error("the PE headers (" + std::to_string(length) +
                             " bytes) do not fit behind offset 256");
  if (old_offset == headers_offset)
    return;
  if (old_offset < 64)
    throw std::runtime_error("unexpected PE header offset");
  std::vector<uint8_t> headers(bytes.begin() + old_offset, bytes.begin() + old_offset + length);
  std::fill(bytes.begin() + std::min<uint32_t>(old_offset, 128),
            bytes.begin() + std::max(old_offset + length, headers_offset), 0);
  std::copy(headers.begin(), headers.end(), bytes.begin() + headers_offset);
  store32(bytes, 60, headers_offset);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stubfix STUB\n");
    return 2;
  }
  try {
    std::vector<uint8_t> bytes = packlib::read_whole_file(argv[1]);
    if (packlib::is_pe_image(bytes))
      move_pe_headers(bytes);
    size_t seal_at = packlib::find_seal_record(bytes);
    uint32_t length = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> copy = bytes;
    uint32_t crc = seal_crc(copy.data(), length, static_cast<uint32_t>(seal_at));
    store32(bytes, seal_at + 8, static_cast<uint32_t>(seal_at));
    store32(bytes, seal_at + 12, length);
    store32(bytes, seal_at + 16, crc);
    packlib::write_whole_file(argv[1], bytes);
    std::printf("%s: %u bytes, sealed\n", argv[1], length);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "stubfix: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
