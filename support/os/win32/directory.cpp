// Directories by handle on Windows. The kernel's ANSI calls name files by
// path, so a directory carries its path; its handle, opened without delete
// sharing, keeps every directory on the walk from being renamed, removed or
// replaced by a link until the record is done. Windows 9x cannot open a
// directory and has no links: there the path alone serves.
#include "support/os/directory.h"
#include "support/os/seam.h"

#include <windows.h>
#include <winioctl.h>

#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/os/system.h"

namespace {

constexpr DWORD walk_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The path of `name` inside `directory`, in a buffer of the longest path the
// ANSI calls take: no heap block, so a file once created is always removed
// or moved without a heap request that could end the process in between.
// An empty text when it does not fit, which names nothing.
struct EntryPath {
  char text[MAX_PATH];
  EntryPath(const Directory& directory, const char* name) {
    int32_t length = directory.path.length();
    int32_t name_length = c_string_length(name);
    text[0] = '\0';
    if (length + name_length < MAX_PATH) {
      copy_bytes(text, directory.path.c_str(), length);
      copy_bytes(text + length, name, name_length + 1);
    }
  }
};

HANDLE open_directory_handle(const char* path, DWORD flags) {
  if (os_call_fails(OsCall::open))
    return INVALID_HANDLE_VALUE;
  return CreateFileA(path, GENERIC_READ, walk_sharing, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// Whether the entry that `handle` holds, a reparse point, is a link by its
// tag: a symbolic link or a junction (mount point). Placeholders,
// deduplicated files and the like carry tags of their own and are ordinary
// entries. A reparse point whose tag cannot be read (Wine reports a Unix
// symbolic link so) is taken for a link.
bool is_link_tag(HANDLE handle) {
  DWORD data[16];
  DWORD returned = 0;
  data[0] = 0;
  if (!DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data, sizeof data, &returned,
                       nullptr) &&
      GetLastError() != ERROR_MORE_DATA)
    return true;
  return data[0] == IO_REPARSE_TAG_SYMLINK || data[0] == IO_REPARSE_TAG_MOUNT_POINT;
}

} // namespace

bool open_directory(const String& path, Directory* directory) {
  HANDLE handle = open_directory_handle(path.c_str(), 0);
  directory->handle = reinterpret_cast<intptr_t>(handle);
  directory->path = path;
  if (handle != INVALID_HANDLE_VALUE || system_is_nt())
    return handle != INVALID_HANDLE_VALUE;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The entry's attributes are read by path once its handle is open: the
// handle keeps the entry (and every directory above it, held the same way)
// from being renamed or replaced, so the path names what was opened.
ChildDirectory open_child_directory(const Directory& parent, const char* name, bool create,
                                    Directory* child) {
  String path = parent.path + name;
  // Opened first: a directory is made only where no entry is yet (told by
  // its attributes, not the open's error code, which Windows 9x, unable to
  // open a directory at all, reports otherwise).
  HANDLE handle = open_directory_handle(path.c_str(), FILE_FLAG_OPEN_REPARSE_POINT);
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (handle == INVALID_HANDLE_VALUE && create && attributes == INVALID_FILE_ATTRIBUTES &&
      !os_call_fails(OsCall::make_directory) && CreateDirectoryA(path.c_str(), nullptr)) {
    handle = open_directory_handle(path.c_str(), FILE_FLAG_OPEN_REPARSE_POINT);
    attributes = GetFileAttributesA(path.c_str());
  }
  ChildDirectory verdict = ChildDirectory::opened;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      is_link_tag(handle))
    verdict = ChildDirectory::link;
  else if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
           (handle == INVALID_HANDLE_VALUE && system_is_nt()))
    verdict = ChildDirectory::failed;
  child->handle = reinterpret_cast<intptr_t>(handle);
  if (verdict != ChildDirectory::opened) {
    close_directory(child);
    return verdict;
  }
  child->path = path + "\\";
  return ChildDirectory::opened;
}

void close_directory(Directory* directory) {
  HANDLE handle = reinterpret_cast<HANDLE>(directory->handle);
  if (handle != INVALID_HANDLE_VALUE)
    CloseHandle(handle);
  directory->handle = -1;
}

FileHandle create_file_in(const Directory& directory, const char* name) {
  if (os_call_fails(OsCall::create))
    return no_file;
  EntryPath path(directory, name);
  return reinterpret_cast<FileHandle>(CreateFileA(path.text, GENERIC_READ | GENERIC_WRITE, 0,
                                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                                  nullptr));
}

// Windows 9x lacks MoveFileExA's replacement: there the old file goes first.
bool replace_in(const Directory& directory, const char* from, const char* to) {
  if (os_call_fails(OsCall::move))
    return false;
  EntryPath from_path(directory, from);
  EntryPath to_path(directory, to);
  if (system_is_nt())
    return MoveFileExA(from_path.text, to_path.text, MOVEFILE_REPLACE_EXISTING) != 0;
  DeleteFileA(to_path.text);
  return MoveFileA(from_path.text, to_path.text) != 0;
}

void delete_in(const Directory& directory, const char* name) {
  if (!os_call_fails(OsCall::remove))
    DeleteFileA(EntryPath(directory, name).text);
}

// Inside the user's own temp directory a new directory inherits its
// permissions; creation fails when the name exists.
bool create_private_directory(const String& path) {
  return !os_call_fails(OsCall::make_directory) && CreateDirectoryA(path.c_str(), nullptr) != 0;
}

void remove_unfinished() {}

// kernel32 has no random source on every Windows version: the processor's
// time-stamp counter, read in cycles, and the stack's place in the address
// space, mixed. Names made from it are still created exclusively, so a
// guess costs a retry, never a takeover.
uint32_t random_bits() {
  uint32_t mixed = uint32_t(__builtin_ia32_rdtsc()) ^
                   uint32_t(reinterpret_cast<uintptr_t>(&mixed) >> 4) * 0x9E3779B1u;
  mixed ^= mixed >> 15;
  mixed *= 0x2C1B3C6Du;
  mixed ^= mixed >> 12;
  return mixed;
}
