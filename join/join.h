// Joining a split set: the head, run with its split-set marker present,
// copies itself and its volumes into one executable in the temp directory,
// which the driver then starts.
#pragma once

#include "package/format.h"
#include "support/os/files.h"
#include "support/runtime/string.h"

inline constexpr int join_buffer_size = 32768;

enum class JoinOutcome {
  joined,
  too_many_files, // "File format error(100)!"
  not_combined,   // "Combine error!!"
};

// The joined copy, and the handle that keeps others from changing it.
struct JoinedCopy {
  String path;
  FileHandle check = no_file;
  bool wait = false; // its package asks for the setup to be waited for
};

// The options of the package behind the stub's `stub_length` bytes, for a file
// whose package cannot be located: in the file itself, or for a split
// set's head, which may hold the stub alone, in its first volume. None
// where no package header is found there.
PackageOptions options_behind_stub(FileHandle own_file, uint32_t stub_length);

// Makes the first `count` bytes of a head of `size` bytes what the joined
// copy holds: its split-set marker broken, so the copy is no head, and a
// code-signing certificate table's directory entry cleared. Answers how
// much of the head the copy holds: the table itself stays behind, so the
// package continues where the signature stood.
uint32_t break_joined_head(uint8_t* bytes, uint32_t count, uint32_t size);

// Joins head and volumes into "_TMP_VK.exe" in `temp_directory`, a file
// created anew (a file of that name is deleted first; one that cannot be
// deleted fails the join); `own_file` is the head, open and positioned
// behind the split-set marker; it stays open for the caller, who owns it. On
// success the volumes are gone where `remove_volumes` says so, `*copy`
// names the joined copy, and a handle that lets others only read it
// (`copy->check`) stays open until the caller closes it or the process ends.
// A copy whose package checksum does not match fails like a missing
// volume. On failure head and volumes are as they were and no joined copy
// is left.
JoinOutcome join_volumes(FileHandle own_file, const char* temp_directory, bool remove_volumes,
                         JoinedCopy* copy);
