// The lower bound of extraction: for every stored file, one read of its
// stream, one inflate into a buffer of exactly its size, one write.
//
//   lower_bound --index INSTALLER > INDEX   lists offset, stored size,
//                                           inflated size and name per file
//   lower_bound INSTALLER INDEX DIR         extracts (the timed part)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--index")
    return write_index(argv[2]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: lower_bound --index INSTALLER | INSTALLER INDEX DIR\n");
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
    uint8_t* content = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    uLongf length = size;
    if (uncompress(content, &length, stream.data(), uLong(stored)) != Z_OK || length != size)
      return 1;
    std::filesystem::path path = directory / name;
    std::filesystem::create_directories(path.parent_path());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
      return 1;
    std::fwrite(content, 1, size, out);
    std::fclose(out);
    std::free(content);
  }
  return 0;
}
