// The lower bound of extraction: for every stored file, one read of its
// stream, one zlib inflate into a buffer of exactly its size, one write;
// and the streaming reference: ISA-L's inflate in 256 KiB output blocks,
// each written as it comes.
//
//   lower_bound --index INSTALLER > INDEX   lists offset, stored size,
//                                           inflated size and name per file
//   lower_bound INSTALLER INDEX DIR         extracts (the timed part)
//   lower_bound --isal INSTALLER INDEX DIR  extracts by the reference
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <igzip_lib.h>
#include <string>
#include <vector>
#include <zlib.h>

#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace {

int write_index(const char* installer_path) {
  std::vector<uint8_t> bytes = packlib::read_whole_file(installer_path);
  packlib::Listing listing = packlib::read_installer(bytes);
  for (const packlib::ListedFile& file : listing.files) {
    auto content = packlib::inflate_stream(
        std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size));
    if (!content)
      return 1;
    std::string name = file.name;
    for (char& c : name)
      if (c == '\\')
        c = '/';
    std::printf("%llu %u %zu %s\n", static_cast<unsigned long long>(file.stream_offset),
                file.stored_size, content->size(), name.c_str());
  }
  return 0;
}

// One file by ISA-L's streaming inflate, the Adler-32 checked.
bool inflate_by_isal(const std::vector<uint8_t>& stream, std::FILE* out) {
  static inflate_state state;
  static std::vector<uint8_t> block(256 << 10);
  isal_inflate_init(&state);
  state.crc_flag = ISAL_ZLIB;
  state.next_in = const_cast<uint8_t*>(stream.data());
  state.avail_in = uint32_t(stream.size());
  for (;;) {
    state.next_out = block.data();
    state.avail_out = uint32_t(block.size());
    if (isal_inflate(&state) != ISAL_DECOMP_OK)
      return false;
    size_t produced = block.size() - state.avail_out;
    std::fwrite(block.data(), 1, produced, out);
    if (state.block_state == ISAL_BLOCK_FINISH)
      return true;
    if (produced == 0 && state.avail_in == 0)
      return false;
  }
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--index")
    return write_index(argv[2]);
  bool isal = argc == 5 && std::string(argv[1]) == "--isal";
  if (isal) {
    --argc;
    ++argv;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: lower_bound --index INSTALLER | [--isal] INSTALLER INDEX DIR\n");
    return 2;
  }
  std::FILE* installer = std::fopen(argv[1], "rb");
  std::ifstream index(argv[2]);
  std::filesystem::path directory = argv[3];
  unsigned long long offset;
  size_t stored, size;
  std::string name;
  while (index >> offset >> stored >> size && std::getline(index >> std::ws, name)) {
    std::vector<uint8_t> stream(stored);
    std::fseek(installer, long(offset), SEEK_SET);
    if (std::fread(stream.data(), 1, stored, installer) != stored)
      return 1;
    std::filesystem::path path = directory / name;
    std::filesystem::create_directories(path.parent_path());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
      return 1;
    if (isal) {
      if (!inflate_by_isal(stream, out))
        return 1;
    } else {
      uint8_t* content = static_cast<uint8_t*>(std::malloc(size ? size : 1));
      uLongf length = size;
      if (uncompress(content, &length, stream.data(), uLong(stored)) != Z_OK || length != size)
        return 1;
      std::fwrite(content, 1, size, out);
      std::free(content);
    }
    std::fclose(out);
  }
  return 0;
}
