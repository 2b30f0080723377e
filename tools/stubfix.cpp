// stubfix: the post-link step of every stub build.
//
// For a Windows stub it moves the PE headers so that they start at offset
// 256 and bytes 128 to 255 are zero: bytes 128 to 135 are the split-set
// header of a head and must have no other meaning; and it maps the
// resources read-only. Then, for every stub, it
// writes the seal: the sealed length and the CRC-32 of the file into the
// marked record inside the stub, and for a Windows stub the PE checksum.
// It fails when the headers do not fit or the record is missing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/pe_image.h"
#include "package/seal.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/stub_image.h"

namespace {

constexpr uint32_t headers_offset = 256;

// The resource section (the manifest) comes from the resource compiler as
// writable data; nothing writes to it, so it is mapped read-only.
void make_resources_read_only(std::vector<uint8_t>& bytes) {
  PeFields pe = pe_fields(bytes.data(), uint32_t(bytes.size()));
  uint32_t optional_size = load_u16(&bytes[pe.pe_offset + 20]);
  uint32_t sections = load_u16(&bytes[pe.pe_offset + 6]);
  for (uint32_t i = 0; i < sections; ++i) {
    uint8_t* section = &bytes[pe.optional + optional_size + i * 40];
    if (std::memcmp(section, ".rsrc\0", 6) == 0)
      store_u32(section + 36, load_u32(section + 36) & ~0x80000000u); // IMAGE_SCN_MEM_WRITE
  }
}

void move_pe_headers(std::vector<uint8_t>& bytes) {
  PeFields pe = pe_fields(bytes.data(), uint32_t(bytes.size()));
  uint32_t old_offset = pe.pe_offset;
  uint32_t optional_size = load_u16(&bytes[old_offset + 20]);
  uint32_t sections = load_u16(&bytes[old_offset + 6]);
  uint32_t length = 4 + 20 + optional_size + sections * 40;
  uint32_t size_of_headers = load_u32(&bytes[pe.optional + 60]);
  uint32_t first_raw = UINT32_MAX;
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t raw = load_u32(&bytes[pe.optional + optional_size + i * 40 + 20]);
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
  store_u32(&bytes[60], headers_offset);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stubfix STUB\n");
    return 2;
  }
  try {
    std::vector<uint8_t> bytes = packlib::read_whole_file(argv[1]);
    if (packlib::is_pe_image(bytes)) {
      move_pe_headers(bytes);
      make_resources_read_only(bytes);
    }
    size_t seal_at = packlib::find_seal_record(bytes);
    uint32_t length = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> copy = bytes;
    uint32_t crc = seal_crc(copy.data(), length, static_cast<uint32_t>(seal_at));
    store_u32(&bytes[seal_at + seal_offset_field], static_cast<uint32_t>(seal_at));
    store_u32(&bytes[seal_at + seal_length_field], length);
    store_u32(&bytes[seal_at + seal_crc_field], crc);
    // Last, as it covers every byte: the seal leaves the field out.
    PeFields pe = pe_fields(bytes.data(), length);
    if (pe.valid)
      store_u32(&bytes[pe.checksum], pe_checksum(bytes.data(), length, pe));
    packlib::write_whole_file(argv[1], bytes);
    std::printf("%s: %u bytes, sealed\n", argv[1], length);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "stubfix: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
