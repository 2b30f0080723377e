// Whole-file reading and writing for the tools and tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace packlib {

// The file's bytes; throws std::runtime_error naming the file on failure.
std::vector<uint8_t> read_whole_file(const std::filesystem::path& path);

// Writes the bytes to a temporary name beside `path` and renames it into
// place, so that a failure never leaves a half-written file.
void write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> bytes);

} // namespace packlib
