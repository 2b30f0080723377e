// Whole files in and out, written through a temporary name.
#include "tools/packlib/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace packlib {

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::runtime_error failure(const std::filesystem::path& path, const char* what) {
  return std::runtime_error(path.string() + ": " + what + ": " + std::strerror(errno));
}
} // namespace

std::vector<uint8_t> read_whole_file(const std::filesystem::path& path) {
  File file(std::fopen(path.string().c_str(), "rb"));
  if (!file)
    throw failure(path, "cannot open");
  std::vector<uint8_t> bytes;
  uint8_t block[65536];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file.get())) > 0)
    bytes.insert(bytes.end(), block, block + count);
  if (std::ferror(file.get()))
    throw failure(path, "cannot read");
  return bytes;
}

void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::filesystem::path temporary = path;
  temporary += ".part";
  {
    // Created exclusively where the C library can: a link planted at the
    // temporary name is never followed.
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
#ifdef _WIN32
    File file(std::fopen(temporary.string().c_str(), "wb"));
#else
    File file(std::fopen(temporary.string().c_str(), "wbx"));
#endif
    if (!file)
      throw failure(temporary, "cannot create");
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
      file.reset();
      std::filesystem::remove(temporary);
      throw failure(temporary, "cannot write");
    }
  }
  std::error_code error;
  std::filesystem::permissions(
      temporary,
      std::filesystem::exists(path)
          ? std::filesystem::status(path).permissions()
          : std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                std::filesystem::perms::others_exec,
      error);
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary);
    throw std::runtime_error(path.string() + ": cannot rename into place: " + error.message());
  }
}

} // namespace packlib
