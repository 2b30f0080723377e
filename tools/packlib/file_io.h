// Whole-file reading and writing for the tools and tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace packlib {

// A path as UTF-8 text, and UTF-8 text (a command-line word, a stored
// name) as a path, on every system: names are stored and shown in UTF-8.
std::string utf8_text(const std::filesystem::path& path);
std::filesystem::path utf8_path(const std::string& text);

// Opens a file for reading or writing ("rb", "wb", "wbx"), by its wide name
// on Windows; null on failure.
std::FILE* open_file(const std::filesystem::path& path, const char* mode);

// The file's bytes; throws std::runtime_error naming the file on failure.
std::vector<uint8_t> read_whole_file(const std::filesystem::path& path);

// A new file for writing, created exclusively and never through a link,
// readable by its owner only until it is moved into place; null when
// anything of that name exists or it cannot be made.
std::FILE* create_exclusive(const std::filesystem::path& path);

// A new directory beside `near` (its name with `suffix` and characters
// nobody can foresee), created exclusively and for this user only; throws
// std::runtime_error when none can be made.
std::filesystem::path create_private_directory(const std::filesystem::path& near,
                                               const std::string& suffix);

// How a file is written so that a failure never leaves it half-written: to
// its temporary name beside it (`path` with ".part-" and this run's own
// characters, which nobody can foresee), created with `create_exclusive`,
// then moved into place with the permissions of the file it replaces, or
// those of a program for a new one.
std::filesystem::path temporary_name(const std::filesystem::path& path);
void move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path);

// Writes the bytes to a temporary name beside `path` and renames it into
// place, so that a failure never leaves a half-written file.
void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// Writes `content` as the stored name `name` (components separated by
// backslashes, which are created, or slashes, which must exist) below
// `target`, as the stub does: each directory is opened from its parent's
// handle and never through a link, and the file is written under a
// temporary name and renamed over the name (replacing a link there, never
// following it). Throws std::runtime_error on a link or any failure.
void write_below(const std::filesystem::path& target, const std::string& name,
                 std::span<const uint8_t> content, bool program);

} // namespace packlib
