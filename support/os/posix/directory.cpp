// Directories by descriptor: every step below the target is an `*at` call
// relative to its parent's descriptor, with O_NOFOLLOW.
#include "support/os/directory.h"
#include "support/os/seam.h"

#include <climits>
#include <cstring>

#include "support/os/posix/native_path.h"
#include "support/os/posix/platform.h"
#include "support/os/posix/system_calls.h"

namespace {

int descriptor_of(const Directory& directory) {
  return static_cast<int>(directory.handle);
}

// What `remove_unfinished` removes, as a signal handler may read it: the
// name is complete before its directory's descriptor is set.
volatile sig_atomic_t unfinished_directory = -1;
char unfinished_name[32];
volatile sig_atomic_t have_private_directory = 0;
char private_directory[PATH_MAX];

// Empties the directory open as `descriptor` (which it closes), entry by
// entry relative to it: a link is removed itself, never followed, and a
// directory is opened without following one before it is emptied. A
// directory that changes meanwhile is left where it could not be emptied.
void empty_directory(int descriptor, int32_t depth) {
  DIR* listing = sys::fdopendir(descriptor);
  if (!listing) {
    sys::close(descriptor);
    return;
  }
  while (struct dirent* entry = sys::readdir(listing)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
      continue;
    if (sys::unlinkat(descriptor, name, 0) == 0 || (errno != EISDIR && errno != EPERM) ||
        depth == 0)
      continue;
    int child = sys::openat(descriptor, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child >= 0) {
      empty_directory(child, depth - 1);
      sys::unlinkat(descriptor, name, AT_REMOVEDIR);
    }
  }
  sys::closedir(listing);
}

void forget_unfinished(const Directory& directory, const char* name) {
  if (unfinished_directory == descriptor_of(directory) && std::strcmp(unfinished_name, name) == 0)
    unfinished_directory = -1;
}

} // namespace

bool open_directory(const String& path, Directory* directory) {
  if (os_call_fails(OsCall::open))
    return false;
  NativePath native = native_path(path.c_str());
  int descriptor = native.fits ? sys::open(native.text, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  directory->handle = descriptor;
  directory->path = path;
  return descriptor >= 0;
}

ChildDirectory open_child_directory(const Directory& parent, const char* name, bool create,
                                    Directory* child) {
  int at = descriptor_of(parent);
  constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  if (os_call_fails(OsCall::open))
    return ChildDirectory::failed;
  // Opened first: a directory is made only where none is yet.
  int descriptor = sys::openat(at, name, flags);
  if (descriptor < 0 && errno == ENOENT && create && sys::mkdirat(at, name, 0777) == 0)
    descriptor = sys::openat(at, name, flags);
  if (descriptor < 0) {
    // O_NOFOLLOW fails on a link (ELOOP, or ENOTDIR with O_DIRECTORY):
    // tell it from a plain failure by what the name itself is.
    struct stat status;
    bool link =
        sys::fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
    return link ? ChildDirectory::link : ChildDirectory::failed;
  }
  child->handle = descriptor;
  return ChildDirectory::opened;
}

void close_directory(Directory* directory) {
  if (directory->handle >= 0)
    sys::close(descriptor_of(*directory));
  directory->handle = -1;
}

FileHandle create_file_in(const Directory& directory, const char* name) {
  if (os_call_fails(OsCall::create))
    return no_file;
  size_t length = std::strlen(name);
  if (length >= sizeof unfinished_name)
    return no_file;
  unfinished_directory = -1;
  int descriptor = sys::openat(descriptor_of(directory), name,
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0)
    return no_file;
  std::memcpy(unfinished_name, name, length + 1);
  unfinished_directory = descriptor_of(directory);
  return descriptor;
}

Placed place_in(const Directory& directory, FileHandle file, const char* from, const char* to) {
  if (!close_file(file)) {
    delete_in(directory, no_file, from);
    return Placed::not_closed;
  }
  if (sys::renameat(descriptor_of(directory), from, descriptor_of(directory), to) != 0) {
    delete_in(directory, no_file, from);
    return Placed::not_moved;
  }
  forget_unfinished(directory, from);
  return Placed::moved;
}

void delete_in(const Directory& directory, FileHandle file, const char* name) {
  if (file != no_file)
    close_file(file);
  if (!os_call_fails(OsCall::remove) && sys::unlinkat(descriptor_of(directory), name, 0) == 0)
    forget_unfinished(directory, name);
}

bool file_identity(FileHandle file, FileIdentity* identity) {
  struct stat status;
  if (os_call_fails(OsCall::query) || sys::fstat(static_cast<int>(file), &status) != 0)
    return false;
  identity->volume = uint64_t(status.st_dev);
  identity->index = uint64_t(status.st_ino);
  return true;
}

FileHandle open_program_in(const Directory& directory, const char* name,
                           const FileIdentity& written) {
  if (os_call_fails(OsCall::open))
    return no_file;
  int descriptor = sys::openat(descriptor_of(directory), name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat status;
  if (descriptor >= 0 && sys::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      FileIdentity{uint64_t(status.st_dev), uint64_t(status.st_ino)} == written)
    return descriptor;
  if (descriptor >= 0)
    sys::close(descriptor);
  return no_file;
}

bool create_private_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  if (!native.fits || sys::mkdir(native.text, 0700) != 0)
    return false;
  have_private_directory = 0;
  std::memcpy(private_directory, native.text, std::strlen(native.text) + 1);
  have_private_directory = 1;
  return true;
}

void remove_directory_tree(const String& path) {
  if (os_call_fails(OsCall::remove))
    return;
  NativePath native = native_path(path.c_str());
  int descriptor =
      native.fits ? sys::open(native.text, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (descriptor < 0)
    return;
  empty_directory(descriptor, deepest_tree);
  sys::rmdir(native.text);
}

void remove_unfinished() {
  int directory = unfinished_directory;
  if (directory >= 0)
    sys::unlinkat(directory, unfinished_name, 0);
  if (have_private_directory)
    sys::rmdir(private_directory); // fails, as it should, once it holds files
}

// The kernel's random source; where it cannot answer, the clock, the
// process and the address space's layout, mixed.
uint32_t random_bits() {
  uint32_t value = 0;
  if (kernel_random(&value, sizeof value))
    return value;
  struct timespec now;
  sys::clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t mixed = uint64_t(now.tv_nsec) ^ uint64_t(now.tv_sec) << 32 ^
                   uint64_t(sys::getpid()) << 16 ^ reinterpret_cast<uintptr_t>(&value);
  mixed ^= mixed >> 33;
  mixed *= 0xFF51AFD7ED558CCDull;
  mixed ^= mixed >> 33;
  return static_cast<uint32_t>(mixed);
}
