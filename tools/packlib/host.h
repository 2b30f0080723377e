// What the tools need of the system they run on: one implementation per
// system (host_posix.cpp, host_win32.cpp), chosen by the build, so that no
// tool's logic asks which system it is on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace packlib {

// The command line's words after the program name, in UTF-8. On Windows
// they come from the wide command line: the narrow one is in the local code
// page and loses names.
std::vector<std::string> command_words(int argc, char** argv);

// The tool's own file, links resolved; `program` is argv[0], the last resort.
std::filesystem::path own_executable(const char* program);

// Whether stderr is a terminal, where progress is worth showing.
bool stderr_is_terminal();

// Opens a file for reading or writing ("rb", "wb", "r+b"), by its wide name
// on Windows; null on failure.
std::FILE* open_file(const std::filesystem::path& path, const char* mode);

// What the gathering saw of an input file, so that the file packed is the
// file checked: its device, inode and size (POSIX; the size alone on
// Windows), and whether its name may be a link to it (`--dereference`).
struct InputIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  bool follow = false;
};

// The identity of the regular file at `path` (through a link only with
// `follow`); false when it is none.
bool identify_input(const std::filesystem::path& path, bool follow, InputIdentity* identity);

// Opens the input for reading (through a link only where the identity
// says it may) when it is still the file that was identified: null with
// `*changed` set when something else stands there by now, null with errno
// on any other failure.
std::FILE* open_input(const std::filesystem::path& path, const InputIdentity& seen, bool* changed);

// A new file for writing and reading back, created exclusively and never
// through a link, readable by its owner only until it is moved into place;
// null when anything of that name exists or it cannot be made.
std::FILE* create_exclusive(const std::filesystem::path& path);

// Gives the open file the fixed mode of what sfxpack writes: 0755 for a
// program, 0644 for data, less the umask, never a set-id bit, whatever
// stood at its name before. Nothing on Windows.
void set_written_mode(std::FILE* file, bool program);

// Creates a directory exclusively, for this user only where the system has
// permissions (mode 0700); false with errno set when it cannot.
bool make_private_directory(const std::filesystem::path& path);

} // namespace packlib
