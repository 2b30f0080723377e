// Whole files in and out, written through a temporary name.
#include "tools/packlib/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

std::FILE* create_exclusive(const std::filesystem::path& path) {
#ifdef _WIN32
  int descriptor = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
  std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
  if (descriptor >= 0 && !file)
    _close(descriptor);
#else
  int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  std::FILE* file = descriptor < 0 ? nullptr : ::fdopen(descriptor, "wb");
  if (descriptor >= 0 && !file)
    ::close(descriptor);
#endif
  return file;
}

namespace {

std::string random_token() {
  std::random_device source;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", unsigned(source()), unsigned(source()));
  return text;
}

} // namespace

std::filesystem::path create_private_directory(const std::filesystem::path& near,
                                               const std::string& suffix) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path directory = near;
    directory += suffix + "-" + random_token();
#ifdef _WIN32
    int made = _wmkdir(directory.c_str());
#else
    int made = ::mkdir(directory.c_str(), 0700);
#endif
    if (made == 0)
      return directory;
    if (errno != EEXIST)
      throw failure(directory, "cannot create");
  }
  throw std::runtime_error(utf8_text(near) + suffix + ": cannot create a directory of its own");
}

std::filesystem::path temporary_name(const std::filesystem::path& path) {
  static const std::string token = random_token();
  std::filesystem::path temporary = path;
  temporary += ".part-" + token;
  return temporary;
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
    File file(create_exclusive(temporary));
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

namespace {

// Calls `step(part, create)` for each directory part of a stored name:
// parts end at either separator, and those that end in a backslash are
// created. Answers the file's own name, the part behind the last separator.
template <class Step> std::string walk_parts(const std::string& name, Step step) {
  size_t start = 0;
  for (size_t end = 0; end < name.size(); ++end) {
    if (name[end] != '\\' && name[end] != '/')
      continue;
    if (end > start)
      step(name.substr(start, end - start), name[end] == '\\');
    start = end + 1;
  }
  return name.substr(start);
}

} // namespace

#ifdef _WIN32
// Windows has no *at calls for the C library: each directory is checked
// for a link before it is used.
void write_below(const std::filesystem::path& target, const std::string& name,
                 std::span<const uint8_t> content, bool) {
  std::filesystem::path output = target;
  std::string file_name = walk_parts(name, [&](const std::string& part, bool create) {
    output /= utf8_path(part);
    if (std::filesystem::is_symlink(output))
      throw std::runtime_error(utf8_text(output) + ": refusing to write through a link");
    if (create)
      std::filesystem::create_directories(output);
  });
  write_whole_file(output / utf8_path(file_name), content);
}
#else
namespace {

// The directories of one walk, closed when it ends.
struct HeldDirectories {
  std::vector<int> descriptors;
  ~HeldDirectories() {
    for (int descriptor : descriptors)
      ::close(descriptor);
  }
};

} // namespace

void write_below(const std::filesystem::path& target, const std::string& name,
                 std::span<const uint8_t> content, bool program) {
  std::filesystem::create_directories(target);
  HeldDirectories held;
  int at = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0)
    throw failure(target, "cannot open");
  held.descriptors.push_back(at);
  std::filesystem::path shown = target;
  std::string file_name = walk_parts(name, [&](const std::string& part, bool create) {
    shown /= part;
    if (create)
      ::mkdirat(at, part.c_str(), 0777);
    int next = ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (next < 0 && ::fstatat(at, part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode))
      throw std::runtime_error(utf8_text(shown) + ": refusing to write through a link");
    if (next < 0)
      throw failure(shown, "cannot open the directory");
    held.descriptors.push_back(next);
    at = next;
  });
  shown /= file_name;
  std::string temporary = ".sfxpack-" + random_token() + ".part";
  int file = ::openat(at, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      program ? 0777 : 0666);
  if (file < 0)
    throw failure(shown, "cannot create");
  size_t done = 0;
  while (done < content.size()) {
    ssize_t put = ::write(file, content.data() + done, content.size() - done);
    if (put <= 0 && errno != EINTR)
      break;
    done += put > 0 ? size_t(put) : 0;
  }
  bool written = ::close(file) == 0 && done == content.size();
  if (!written || file_name.empty() ||
      ::renameat(at, temporary.c_str(), at, file_name.c_str()) != 0) {
    int error = errno;
    ::unlinkat(at, temporary.c_str(), 0);
    errno = error;
    throw failure(shown, written ? "cannot create" : "cannot write");
  }
}
#endif

} // namespace packlib
