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
  return std::runtime_error(utf8_text(path) + ": " + what + ": " + std::strerror(errno));
}

} // namespace

// Opens through the wide-character API on Windows, so that any name works
// whatever the local code page.
std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::string utf8_text(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::vector<uint8_t> read_whole_file(const std::filesystem::path& path) {
  File file(open_file(path, "rb"));
  if (!file)
    throw failure(path, "cannot open");
  std::vector<uint8_t> bytes;
  std::error_code ignored;
  uintmax_t size = std::filesystem::file_size(path, ignored);
  if (!ignored && size < (uintmax_t(1) << 31))
    bytes.reserve(size_t(size));
  uint8_t block[65536];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file.get())) > 0)
    bytes.insert(bytes.end(), block, block + count);
  if (std::ferror(file.get()))
    throw failure(path, "cannot read");
  return bytes;
}

std::filesystem::path temporary_name(const std::filesystem::path& path) {
  std::filesystem::path temporary = path;
  temporary += ".part";
  return temporary;
}

std::FILE* create_temporary(const std::filesystem::path& temporary) {
  // Created exclusively where the C library can: a link planted at the
  // temporary name is never followed.
  std::error_code ignored;
  std::filesystem::remove(temporary, ignored);
#ifdef _WIN32
  return open_file(temporary, "wb");
#else
  return open_file(temporary, "wbx");
#endif
}

void move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path) {
  // A file it replaces keeps its permissions; a new one may be run.
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
    throw std::runtime_error(utf8_text(path) + ": cannot rename into place: " + error.message());
  }
}

void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::filesystem::path temporary = temporary_name(path);
  {
    File file(create_temporary(temporary));
    if (!file)
      throw failure(temporary, "cannot create");
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
      file.reset();
      std::filesystem::remove(temporary);
      throw failure(temporary, "cannot write");
    }
  }
  move_into_place(temporary, path);
}

} // namespace packlib
