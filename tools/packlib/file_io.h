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

// How a file is written so that a failure never leaves it half-written: to
// its temporary name beside it (`path` with ".part"), created exclusively
// (null on failure), then moved into place with the permissions of the file
// it replaces, or those of a program for a new one.
std::filesystem::path temporary_name(const std::filesystem::path& path);
std::FILE* create_temporary(const std::filesystem::path& temporary);
void move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path);

// Writes the bytes to a temporary name beside `path` and renames it into
// place, so that a failure never leaves a half-written file.
void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes);

} // namespace packlib
