// Directories by handle: the walk from the target directory down to a
// record's file.
//
// Every directory below the target is opened relative to its parent's open
// handle and never through a link, and the file is created and moved into
// place inside the last one, so nothing on the way can be swapped for a link
// between a check and its use. On POSIX the handles are descriptors used
// with the `*at` calls; on NT native calls name entries relative to them,
// each directory held without delete sharing so that it is not renamed or
// removed while it is in use. Windows 9x names files by path only, so a
// directory also carries its path.
#pragma once

#include <cstdint>

#include "support/os/files.h"
#include "support/runtime/string.h"

struct Directory {
  intptr_t handle = -1;
  String path; // with a trailing backslash; where files are named by path (Windows)
};

// Opens the directory at `path`, which may be or lie behind a link (the
// user chose it). False on failure.
bool open_directory(const String& path, Directory* directory);

enum class ChildDirectory : uint8_t { opened, link, failed };

// Opens the directory `name` (one component) inside `parent`, creating it
// first when `create` is set and it is missing. A link there is never
// followed and answers `link`: on POSIX any symbolic link, on Windows a
// symbolic link, junction or mount point (other reparse points, such as
// cloud-file placeholders, are ordinary directories).
ChildDirectory open_child_directory(const Directory& parent, const char* name, bool create,
                                    Directory* child);

void close_directory(Directory* directory);

// A new file `name` inside `directory` for reading and writing, created
// exclusively: -1 when anything of that name exists.
FileHandle create_file_in(const Directory& directory, const char* name);

enum class Placed : uint8_t { moved, not_moved, not_closed };

// Closes `file`, made by `create_file_in` as `from` inside `directory`, and
// moves it over `to`, replacing a file or link there in one step (a link is
// replaced, never followed; on Windows a read-only file is not replaced).
// `not_closed` when closing failed (its data may be incomplete) and
// `not_moved` when the move did: either way the file is removed as by
// `delete_in` and `to` is left as it was.
Placed place_in(const Directory& directory, FileHandle file, const char* from, const char* to);

// Closes `file` (unless it is `no_file`), made as `name` inside
// `directory`, and removes it: on NT through its own handle, so that
// whatever else stands at its name by then is never touched.
void delete_in(const Directory& directory, FileHandle file, const char* name);

// What tells one file from another on its volume.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the open file; false on failure.
bool file_identity(FileHandle file, FileIdentity* identity);

// Opens `name` inside `directory` for reading, never through a link, and
// only when it is the file `written` (the setup program this run wrote, so
// that the program started is the program extracted): -1 otherwise. On
// Windows the file stays shared for reading only while it is held, so that
// nobody writes, renames or removes it; on POSIX its descriptor is what the
// launch executes.
FileHandle open_program_in(const Directory& directory, const char* name,
                           const FileIdentity& written);

// Creates the directory at `path` exclusively, for this user only where the
// system has permissions (POSIX mode 0700): false when anything of that name
// exists or it cannot be made.
bool create_private_directory(const String& path);

// How deep `remove_directory_tree` goes below the directory it removes.
inline constexpr int32_t deepest_tree = 64;

// Removes the directory at `path`, which `create_private_directory` made,
// and everything in it, as far as it can: each entry is reached from its
// directory's handle, and a link inside is removed itself, never
// followed. Nothing on Windows 9x, which opens no directory.
void remove_directory_tree(const String& path);

// Removes what the run left unfinished when it is ended from outside (POSIX:
// SIGINT, SIGTERM, SIGHUP): the file `create_file_in` made and neither
// `replace_in` nor `delete_in` has taken yet, and the directory
// `create_private_directory` made while it is still empty. Safe in a signal
// handler; nothing on Windows, where no such signal reaches the stub.
void remove_unfinished();

// 32 bits that others cannot guess, for names that must not be foreseen.
uint32_t random_bits();
