// Whole-file reading and writing for the tools and tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/packlib/host.h"

namespace packlib {

// A stdio file closed with its owner.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A path as UTF-8 text, and UTF-8 text (a command-line word, a stored
// name) as a path, on every system: names are stored and shown in UTF-8.
std::string utf8_text(const std::filesystem::path& path);
// A path for a message: UTF-8 with its controls escaped (`printable`).
std::string shown_path(const std::filesystem::path& path);
std::filesystem::path utf8_path(const std::string& text);

// The file's bytes; throws std::runtime_error naming the file on failure.
std::vector<uint8_t> read_whole_file(const std::filesystem::path& path);

// A new directory beside `near` (its name with `suffix` and characters
// nobody can foresee), created exclusively and for this user only; throws
// std::runtime_error when none can be made.
std::filesystem::path create_private_directory(const std::filesystem::path& near,
                                               const std::string& suffix);

// How a file is written so that a failure never leaves it half-written: to
// its temporary name beside it (`path` with ".part-" and this run's own
// characters, which nobody can foresee), created with `create_exclusive`,
// then renamed into place.
std::filesystem::path temporary_name(const std::filesystem::path& path);

// Writes the bytes to a temporary name beside `path`, gives the file its
// fixed mode through its descriptor (a program's or data's, less the
// umask: nothing is taken over from what stood at the name) and renames it
// into place, replacing whatever stands there, never following it.
void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                      bool program = true);

// A std::runtime_error that names the file, what failed and errno's text.
std::runtime_error failure(const std::filesystem::path& path, const char* what);

// 64 bits nobody can foresee, as 16 hexadecimal digits.
std::string random_token();

} // namespace packlib
