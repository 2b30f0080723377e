// The tools' system layer on POSIX systems.
#include "support/os/posix/platform.h"
#include "tools/packlib/host.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/packlib/file_io.h"

namespace packlib {

std::vector<std::string> command_words(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::filesystem::path own_executable(const char* program) {
  char self[4096];
  std::error_code error;
  return own_executable_path(self, sizeof self) ? std::filesystem::path(self)
                                                : std::filesystem::canonical(program, error);
}

bool stderr_is_terminal() {
  return ::isatty(::fileno(stderr)) != 0;
}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::FILE* create_exclusive(const std::filesystem::path& path) {
  int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  std::FILE* file = descriptor < 0 ? nullptr : ::fdopen(descriptor, "w+b");
  if (descriptor >= 0 && !file)
    ::close(descriptor);
  return file;
}

namespace {

bool same_input(const struct stat& status, const InputIdentity& seen) {
  return S_ISREG(status.st_mode) && uint64_t(status.st_dev) == seen.device &&
         uint64_t(status.st_ino) == seen.inode && uint64_t(status.st_size) == seen.size;
}

} // namespace

bool identify_input(const std::filesystem::path& path, bool follow, InputIdentity* identity) {
  struct stat status;
  if ((follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0 ||
      !S_ISREG(status.st_mode))
    return false;
  *identity = {uint64_t(status.st_dev), uint64_t(status.st_ino), uint64_t(status.st_size), follow};
  return true;
}

std::FILE* open_input(const std::filesystem::path& path, const InputIdentity& seen, bool* changed) {
  *changed = false;
  int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (seen.follow ? 0 : O_NOFOLLOW));
  if (descriptor < 0) {
    *changed = errno == ELOOP;
    return nullptr;
  }
  struct stat status;
  std::FILE* file = nullptr;
  if (::fstat(descriptor, &status) == 0 && same_input(status, seen))
    file = ::fdopen(descriptor, "rb");
  else
    *changed = true;
  if (!file)
    ::close(descriptor);
  return file;
}

void set_written_mode(std::FILE* file, bool program) {
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(::fileno(file), (program ? 0755 : 0644) & ~mask);
}

bool make_private_directory(const std::filesystem::path& path) {
  return ::mkdir(path.c_str(), 0700) == 0;
}

} // namespace packlib
