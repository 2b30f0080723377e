// Files by handle, and the temp-directory query.
//
// Paths are Windows-style (backslashes); a POSIX build translates them at
// the system boundary. Failures come back as -1 and never stop the process.
#pragma once

#include <cstdint>

using FileHandle = intptr_t;
inline constexpr FileHandle no_file = -1;

// File modes: bits 0-1 the access (0 read, 1 write, 2 both), bits 4-7 what
// others may do (0 and 1 nothing, 2 read, 3 write, 4 read and write).
inline constexpr uint8_t mode_read_share_none = 0x00;
inline constexpr uint8_t mode_read_share_read = 0x20;
inline constexpr uint8_t mode_read_share_all = 0x40;

// An existing file, or -1.
FileHandle open_file(const char* path, uint8_t mode);
// A new file for reading and writing, no sharing, or -1. An existing file
// of that name is replaced, never written into: its name is removed and
// the new file created exclusively, so nothing planted there (a link, a
// hard link, someone else's file) is followed or kept; a name that cannot
// be removed fails.
FileHandle create_file(const char* path);
// The same for writing, others may read, or -1 (the line file's writer).
FileHandle create_shared_file(const char* path);

// Bytes moved (0 at the end of the file, possibly short), or -1.
int32_t read_file(FileHandle file, void* buffer, int32_t count);
int32_t write_file(FileHandle file, const void* buffer, int32_t count);

inline constexpr int seek_from_start = 0;
inline constexpr int seek_from_current = 1;
inline constexpr int seek_from_end = 2;
// New position from the start of the file, or -1 (all bits set).
uint32_t seek_file(FileHandle file, int32_t offset, int origin);

// Closes the handle; answers false when the system refused.
bool close_file(FileHandle file);

// 0 unknown, 1 disk file, 2 character device, 3 pipe.
inline constexpr uint32_t file_type_unknown = 0;
inline constexpr uint32_t file_type_character = 2;
uint32_t file_type(FileHandle file);

// Lets the file be started as a program (on POSIX execute permission as
// the user's umask allows); nothing where the system keeps no such
// permission.
void mark_as_program(FileHandle file);

// The system's code for the last failed call.
uint32_t last_error();

// The temporary directory as a C string in `buffer` (usually ending in a
// backslash): its length, 0 on failure, or the size needed (nothing written)
// when it does not fit.
uint32_t get_temp_path(char* buffer, uint32_t size);
