// The command line of sfxpack: options with their values, help texts and
// the one-line usage errors.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/packlib/file_io.h"

namespace sfxpack {

// A path as sfxpack shows it: UTF-8 on every system, its controls escaped.
inline std::string display(const std::filesystem::path& path) {
  return packlib::shown_path(path);
}

// A mistake in the command line: one line, then a hint where help is.
struct UsageError : std::runtime_error {
  UsageError(const std::string& command, const std::string& text)
      : std::runtime_error(text), command(command) {}
  std::string command;
};

// The words of a command split into options and operands. Options take
// their value as the next word or after "=" (`--level=9`); "--" ends the
// options; a repeated option keeps every value.
struct Arguments {
  std::map<std::string, std::vector<std::string>> options;
  std::vector<std::string> operands;
  bool has(const std::string& name) const { return options.count(name) != 0; }
  // The last value given, or `fallback`.
  std::string value(const std::string& name, const std::string& fallback = "") const;
};

// `valued` and `flags` list the command's options by their long names;
// "-o" stands for "--output".
Arguments parse_arguments(const std::string& command, const std::vector<std::string>& words,
                          const std::vector<std::string>& valued,
                          const std::vector<std::string>& flags);

// Whether `name` is one of sfxpack's commands.
bool is_command(const std::string& name);

// The help of one command, or the overview for "".
const char* help_text(const std::string& command);

extern const char version_text[];

// A byte count for people, in powers of 1000 ("980 bytes", "165.6 MB"), or
// exactly ("173741221 bytes") when `exact`.
std::string size_text(uint64_t bytes, bool exact);

// A count with its noun, grouped in thousands: "1 file", "6,084 files".
std::string counted(uint64_t count, const char* noun);

} // namespace sfxpack
