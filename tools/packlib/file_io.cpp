// Whole files in and out, written through a temporary name.
#include "tools/packlib/file_io.h"
#include "tools/packlib/printable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <system_error>

namespace packlib {

namespace {} // namespace

std::runtime_error failure(const std::filesystem::path& path, const char* what) {
  return std::runtime_error(shown_path(path) + ": " + what + ": " + std::strerror(errno));
}

std::string shown_path(const std::filesystem::path& path) {
  return printable(utf8_text(path));
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

std::string random_token() {
  std::random_device source;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", unsigned(source()), unsigned(source()));
  return text;
}

std::filesystem::path create_private_directory(const std::filesystem::path& near,
                                               const std::string& suffix) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path directory = near;
    directory += suffix + "-" + random_token();
    if (make_private_directory(directory))
      return directory;
    if (errno != EEXIST)
      throw failure(directory, "cannot create");
  }
  throw std::runtime_error(shown_path(near) + suffix + ": cannot create a directory of its own");
}

std::filesystem::path temporary_name(const std::filesystem::path& path) {
  static const std::string token = random_token();
  std::filesystem::path temporary = path;
  temporary += ".part-" + token;
  return temporary;
}

void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                      bool program) {
  std::filesystem::path temporary = temporary_name(path);
  {
    File file(create_exclusive(temporary));
    if (!file)
      throw failure(temporary, "cannot create");
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
      file.reset();
      std::filesystem::remove(temporary);
      throw failure(temporary, "cannot write");
    }
    set_written_mode(file.get(), program);
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary);
    throw std::runtime_error(shown_path(path) + ": cannot rename into place: " + error.message());
  }
}

} // namespace packlib
