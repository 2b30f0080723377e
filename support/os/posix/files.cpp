// Files by handle on POSIX systems. A handle is a file descriptor. The
// sharing part of a file mode has no counterpart here and is not enforced.
#include "support/os/files.h"
#include "support/os/seam.h"

#include <climits>
#include <cstring>

#include "support/os/posix/native_path.h"
#include "support/os/posix/system_calls.h"

namespace {

// Opens `path` with `flags`; a call the seam fails as `call`, or a path too
// long for the system, fails. A file created here is replaced, never
// written into: the old name (a file or a link, possibly someone else's,
// possibly a hard link to a file elsewhere) is removed first and the new
// file created exclusively, so that nothing planted at the name is followed
// or kept; a name that cannot be removed, or another kind of entry there,
// fails.
FileHandle open_native(const char* path, int flags, OsCall call) {
  if (os_call_fails(call))
    return no_file;
  NativePath native = native_path(path);
  if (!native.fits) {
    errno = ENAMETOOLONG;
    return no_file;
  }
  struct stat status;
  if ((flags & O_CREAT) && sys::lstat(native.text, &status) == 0 &&
      (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) && sys::unlink(native.text) != 0)
    return no_file;
  int descriptor = sys::open(native.text, flags | O_CLOEXEC, 0666);
  return descriptor < 0 ? no_file : descriptor;
}

constexpr int create_new = O_CREAT | O_EXCL | O_NOFOLLOW;

} // namespace

FileHandle open_file(const char* path, uint8_t mode) {
  static constexpr int access[4] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDONLY};
  return open_native(path, access[mode & 3], OsCall::open);
}

FileHandle create_file(const char* path) {
  return open_native(path, O_RDWR | create_new, OsCall::create);
}

FileHandle create_shared_file(const char* path) {
  return open_native(path, O_WRONLY | create_new, OsCall::create);
}

int32_t read_file(FileHandle file, void* buffer, int32_t count) {
  if (file < 0 || count < 0 || (count = os_seam(OsCall::read, count)) < 0)
    return -1;
  int32_t total = 0;
  // One call may deliver less than the file holds; keep reading until the
  // count is met or the end of the file, as one ReadFile call does.
  while (total < count) {
    ssize_t got = sys::read(static_cast<int>(file), static_cast<char*>(buffer) + total,
                            static_cast<size_t>(count - total));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return total > 0 ? total : -1;
    }
    if (got == 0)
      break;
    total += static_cast<int32_t>(got);
  }
  return total;
}

int32_t write_file(FileHandle file, const void* buffer, int32_t count) {
  if (file < 0 || count < 0 || (count = os_seam(OsCall::write, count)) < 0)
    return -1;
  int32_t total = 0;
  while (total < count) {
    ssize_t put = sys::write(static_cast<int>(file), static_cast<const char*>(buffer) + total,
                             static_cast<size_t>(count - total));
    if (put < 0) {
      if (errno == EINTR)
        continue;
      return total > 0 ? total : -1;
    }
    total += static_cast<int32_t>(put);
  }
  return total;
}

uint32_t seek_file(FileHandle file, int32_t offset, int origin) {
  static constexpr int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (file < 0 || origin < 0 || origin > 2)
    return uint32_t(-1);
  off_t position = sys::lseek(static_cast<int>(file), offset, whence[origin]);
  if (position < 0 || position >= off_t(0xFFFFFFFF))
    return uint32_t(-1);
  return static_cast<uint32_t>(position);
}

// A failed close has still closed the descriptor.
bool close_file(FileHandle file) {
  return file >= 0 && sys::close(static_cast<int>(file)) == 0 && !os_call_fails(OsCall::close);
}

uint32_t file_type(FileHandle file) {
  struct stat status;
  if (file < 0 || os_call_fails(OsCall::query) || sys::fstat(static_cast<int>(file), &status) != 0)
    return 0;
  if (S_ISREG(status.st_mode))
    return 1;
  if (S_ISCHR(status.st_mode))
    return file_type_character;
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
    return 3;
  return 0;
}

void mark_as_program(FileHandle file) {
  if (os_call_fails(OsCall::attributes))
    return;
  mode_t mask = sys::umask(0);
  sys::umask(mask);
  sys::fchmod(static_cast<int>(file), 0777 & ~mask);
}

uint32_t last_error() {
  return static_cast<uint32_t>(errno);
}

// $TMPDIR, else /tmp/, with a trailing backslash.
uint32_t get_temp_path(char* buffer, uint32_t size) {
  if (os_call_fails(OsCall::query))
    return 0;
  const char* directory = sys::getenv("TMPDIR");
  if (!directory || !*directory)
    directory = "/tmp/";
  char with_separator[PATH_MAX + 2];
  size_t length = std::strlen(directory);
  if (length > PATH_MAX)
    return 0;
  std::memcpy(with_separator, directory, length + 1);
  if (with_separator[length - 1] != '/')
    std::memcpy(with_separator + length, "/", 2);
  return windows_path(with_separator, buffer, size);
}
