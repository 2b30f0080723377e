// Directories by handle on Windows.
//
// On NT every entry below the target is named relative to its parent's
// open handle through the native calls (NtCreateFile with a root
// directory), the file is moved into place through its own handle
// (FileRenameInformation relative to the directory) and a failed one is
// removed through its handle too (delete disposition): nothing is reached
// by path once the target is open, so neither a directory renamed behind
// the stub's back nor a link planted at a temporary name redirects a write
// or a removal, and paths are not bound by MAX_PATH. Every directory on
// the walk is held without delete sharing, so that it cannot be renamed or
// removed until the record is done. Windows 9x opens no directory and has
// no links: there the path alone serves.
#include "support/os/directory.h"
#include "support/os/seam.h"

#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/os/system.h"
#include "support/os/win32/system_calls.h"
#include "support/text/path_text.h"

namespace {

constexpr DWORD walk_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// ---- the native calls (NT) --------------------------------------------------

struct DirectoryInformation {
  ULONG next, index;
  LARGE_INTEGER times[4], end_of_file, allocation;
  ULONG attributes;
  ULONG name_length;
  WCHAR name[256];
};

struct RenameInformation {
  BOOLEAN replace_if_exists;
  HANDLE root_directory;
  ULONG name_length; // in bytes
  WCHAR name[256];
};

constexpr ULONG file_directory_information = 1;
constexpr ULONG file_rename_information = 10;
constexpr ULONG file_disposition_information = 13;

struct NativeCalls {
  decltype(sys::NtCreateFile()) create;
  decltype(sys::NtSetInformationFile()) set_information;
  decltype(sys::NtQueryDirectoryFile()) query_directory;
};

// ntdll's calls where the system is NT, else null (the path walk of 9x).
const NativeCalls* native() {
  static NativeCalls calls;
  if (!calls.query_directory && system_is_nt()) {
    calls.create = sys::NtCreateFile();
    calls.set_information = sys::NtSetInformationFile();
    if (calls.create && calls.set_information)
      calls.query_directory = sys::NtQueryDirectoryFile();
  }
  return calls.query_directory ? &calls : nullptr;
}

// One name inside a directory as the ANSI calls read it (trailing dots and
// blanks dropped, so "." is the directory itself), in UTF-16, relative to
// the directory's handle. A name that does not convert is not `valid`.
struct NativeName {
  WCHAR text[256];
  UNICODE_STRING string;
  OBJECT_ATTRIBUTES attributes;
  bool valid;
  NativeName(HANDLE root, const char* name) {
    int32_t length = c_string_length(name);
    while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' '))
      --length;
    int converted = length == 0 ? 0 : sys::MultiByteToWideChar(CP_ACP, 0, name, length, text, 256);
    valid = length == 0 || converted > 0;
    string.Buffer = text;
    string.Length = string.MaximumLength = USHORT(converted * sizeof(WCHAR));
    InitializeObjectAttributes(&attributes, &string, OBJ_CASE_INSENSITIVE, root, nullptr);
  }
};

HANDLE root_of(const Directory& directory) {
  return reinterpret_cast<HANDLE>(directory.handle);
}

// An empty name opens the directory itself anew.
HANDLE native_open(const Directory& directory, const char* name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options) {
  NativeName native_name(root_of(directory), name);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (!native_name.valid ||
      native()->create(&handle, access | SYNCHRONIZE, &native_name.attributes, &status, nullptr,
                       FILE_ATTRIBUTE_NORMAL, share, disposition,
                       options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0) != 0)
    return INVALID_HANDLE_VALUE;
  return handle;
}

// The attributes of the entry of that name as the directory lists it:
// those of a link itself, never of what it leads to (Wine opens through a
// Unix link, but lists it as one). The listing takes a fresh handle of the
// directory: a handle's first listing fixes its pattern.
DWORD entry_attributes(const Directory& directory, const char* name) {
  NativeName pattern(nullptr, name);
  if (pattern.valid && pattern.string.Length == 0)
    return FILE_ATTRIBUTE_DIRECTORY; // the directory itself
  HANDLE listing = native_open(directory, "", FILE_LIST_DIRECTORY, walk_sharing | FILE_SHARE_DELETE,
                               FILE_OPEN, FILE_DIRECTORY_FILE);
  DirectoryInformation information;
  IO_STATUS_BLOCK status;
  bool listed = listing != INVALID_HANDLE_VALUE && pattern.string.Length != 0 &&
                native()->query_directory(listing, nullptr, nullptr, nullptr, &status, &information,
                                          sizeof information, file_directory_information, TRUE,
                                          &pattern.string, TRUE) == 0;
  if (listing != INVALID_HANDLE_VALUE)
    sys::CloseHandle(listing);
  return listed ? information.attributes : INVALID_FILE_ATTRIBUTES;
}

bool set_information(FileHandle file, void* information, ULONG size, ULONG kind) {
  IO_STATUS_BLOCK status;
  return native()->set_information(reinterpret_cast<HANDLE>(file), &status, information, size,
                                   kind) == 0;
}

// Opens the entry listed as `name` (`bytes` long) inside `root` itself,
// never what a link there leads to, with delete access.
HANDLE open_listed(HANDLE root, WCHAR* name, ULONG bytes, ACCESS_MASK access, ULONG options) {
  UNICODE_STRING string{USHORT(bytes), USHORT(bytes), name};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &string, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (native()->create(&handle, access | DELETE | SYNCHRONIZE, &attributes, &status, nullptr, 0,
                       walk_sharing | FILE_SHARE_DELETE, FILE_OPEN,
                       options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr,
                       0) != 0)
    return INVALID_HANDLE_VALUE;
  return handle;
}

// Removes what the directory open as `directory` holds, one listed entry
// at a time: a directory that is no link is emptied first; a link, file or
// anything else is opened as itself and marked for deletion.
void remove_entries(HANDLE directory, int32_t depth) {
  DirectoryInformation information;
  IO_STATUS_BLOCK status;
  for (BOOLEAN restart = TRUE;
       native()->query_directory(directory, nullptr, nullptr, nullptr, &status, &information,
                                 sizeof information, file_directory_information, TRUE, nullptr,
                                 restart) == 0;
       restart = FALSE) {
    ULONG bytes = information.name_length;
    if (information.name[0] == '.' && (bytes == 2 || (bytes == 4 && information.name[1] == '.')))
      continue;
    bool subdirectory = (information.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        !(information.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    HANDLE entry =
        open_listed(directory, information.name, bytes, subdirectory ? FILE_LIST_DIRECTORY : 0,
                    subdirectory ? FILE_DIRECTORY_FILE : 0);
    if (entry == INVALID_HANDLE_VALUE)
      continue;
    if (subdirectory && depth > 0)
      remove_entries(entry, depth - 1);
    BOOLEAN remove = TRUE;
    set_information(reinterpret_cast<FileHandle>(entry), &remove, sizeof remove,
                    file_disposition_information);
    sys::CloseHandle(entry);
  }
}

// ---- paths (9x) -------------------------------------------------------------

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

HANDLE open_directory_handle(const char* path) {
  return sys::CreateFileA(path, GENERIC_READ, walk_sharing, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
  if (!sys::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data, sizeof data,
                            &returned, nullptr) &&
      sys::GetLastError() != ERROR_MORE_DATA)
    return true;
  return data[0] == IO_REPARSE_TAG_SYMLINK || data[0] == IO_REPARSE_TAG_MOUNT_POINT;
}

bool is_link(DWORD attributes, HANDLE handle) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         is_link_tag(handle);
}

// Windows 9x replaces no file in a move: the old one is moved aside first
// and put back when the move fails, so that a failure leaves it as it was.
bool replace_by_path(const Directory& directory, const char* from, const char* to) {
  EntryPath from_path(directory, from);
  EntryPath to_path(directory, to);
  DWORD attributes = sys::GetFileAttributesA(to_path.text);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return sys::MoveFileA(from_path.text, to_path.text) != 0;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
    return false;
  char aside_name[unique_name_size];
  unique_name(random_bits(), aside_name);
  EntryPath aside(directory, aside_name);
  if (!sys::MoveFileA(to_path.text, aside.text))
    return false;
  if (!sys::MoveFileA(from_path.text, to_path.text)) {
    sys::MoveFileA(aside.text, to_path.text);
    return false;
  }
  sys::DeleteFileA(aside.text);
  return true;
}

} // namespace

bool open_directory(const String& path, Directory* directory) {
  if (os_call_fails(OsCall::open))
    return false;
  HANDLE handle = open_directory_handle(path.c_str());
  directory->handle = reinterpret_cast<intptr_t>(handle);
  directory->path = path;
  if (handle != INVALID_HANDLE_VALUE || system_is_nt())
    return handle != INVALID_HANDLE_VALUE;
  DWORD attributes = sys::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opened first, relative to the parent (made where no entry is yet, in the
// same call); its attributes are read by name once its handle is open: the
// handle keeps the entry from being renamed or replaced, so the name
// still names what was opened.
ChildDirectory open_child_directory(const Directory& parent, const char* name, bool create,
                                    Directory* child) {
  if (os_call_fails(OsCall::open))
    return ChildDirectory::failed;
  bool may_create = create && !os_call_fails(OsCall::make_directory);
  String path = parent.path + name;
  HANDLE handle;
  DWORD attributes;
  if (native()) {
    handle = native_open(parent, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                         walk_sharing, may_create ? FILE_OPEN_IF : FILE_OPEN,
                         FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    attributes = entry_attributes(parent, name);
  } else {
    // Windows 9x cannot open a directory: a directory is made where its
    // attributes say no entry is yet.
    handle = INVALID_HANDLE_VALUE;
    attributes = sys::GetFileAttributesA(path.c_str());
    if (may_create && attributes == INVALID_FILE_ATTRIBUTES &&
        sys::CreateDirectoryA(path.c_str(), nullptr))
      attributes = sys::GetFileAttributesA(path.c_str());
  }
  ChildDirectory verdict = ChildDirectory::opened;
  if (is_link(attributes, handle))
    verdict = ChildDirectory::link;
  else if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
           (handle == INVALID_HANDLE_VALUE && native()))
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
    sys::CloseHandle(handle);
  directory->handle = -1;
}

FileHandle create_file_in(const Directory& directory, const char* name) {
  if (os_call_fails(OsCall::create))
    return no_file;
  HANDLE file =
      native() ? native_open(directory, name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE)
               : sys::CreateFileA(EntryPath(directory, name).text, GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(file);
}

// A read-only file at the name is not replaced, the same on every Windows
// (NT's rename would refuse it, Wine's would not).
Placed place_in(const Directory& directory, FileHandle file, const char* from, const char* to) {
  if (!native()) {
    if (!close_file(file)) {
      delete_in(directory, no_file, from);
      return Placed::not_closed;
    }
    if (!os_call_fails(OsCall::move) && replace_by_path(directory, from, to))
      return Placed::moved;
    delete_in(directory, no_file, from);
    return Placed::not_moved;
  }
  RenameInformation rename;
  NativeName target(root_of(directory), to);
  DWORD attributes = entry_attributes(directory, to);
  rename.replace_if_exists = TRUE;
  rename.root_directory = root_of(directory);
  rename.name_length = target.string.Length;
  copy_bytes(rename.name, target.text, target.string.Length);
  bool moved = !os_call_fails(OsCall::move) && target.string.Length != 0 &&
               (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) &&
               set_information(file, &rename, sizeof rename, file_rename_information);
  if (!moved) {
    delete_in(directory, file, from);
    return Placed::not_moved;
  }
  // Every write has succeeded: the file in place is whole, whatever the
  // close says.
  close_file(file);
  return Placed::moved;
}

void delete_in(const Directory& directory, FileHandle file, const char* name) {
  if (native() && file != no_file) {
    BOOLEAN remove = TRUE;
    if (!os_call_fails(OsCall::remove))
      set_information(file, &remove, sizeof remove, file_disposition_information);
    close_file(file);
    return;
  }
  if (file != no_file)
    close_file(file);
  if (!os_call_fails(OsCall::remove))
    sys::DeleteFileA(EntryPath(directory, name).text);
}

bool file_identity(FileHandle file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!sys::GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &information))
    return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index = uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  return true;
}

// Wine opens through a Unix link even here: the identity tells.
FileHandle open_program_in(const Directory& directory, const char* name,
                           const FileIdentity& written) {
  if (os_call_fails(OsCall::open))
    return no_file;
  HANDLE handle =
      native() ? native_open(directory, name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                             FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT)
               : sys::CreateFileA(EntryPath(directory, name).text, GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  FileHandle file = reinterpret_cast<FileHandle>(handle);
  FileIdentity identity;
  if (handle != INVALID_HANDLE_VALUE && file_identity(file, &identity) && identity == written)
    return file;
  if (handle != INVALID_HANDLE_VALUE)
    sys::CloseHandle(handle);
  return no_file;
}

// Inside the user's own temp directory a new directory inherits its
// permissions; creation fails when the name exists.
bool create_private_directory(const String& path) {
  return !os_call_fails(OsCall::make_directory) &&
         sys::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

void remove_directory_tree(const String& path) {
  if (!native() || os_call_fails(OsCall::remove))
    return;
  HANDLE directory = sys::CreateFileA(
      path.c_str(), FILE_LIST_DIRECTORY | DELETE, walk_sharing | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (directory == INVALID_HANDLE_VALUE)
    return;
  remove_entries(directory, deepest_tree);
  BOOLEAN remove = TRUE;
  set_information(reinterpret_cast<FileHandle>(directory), &remove, sizeof remove,
                  file_disposition_information);
  sys::CloseHandle(directory);
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
