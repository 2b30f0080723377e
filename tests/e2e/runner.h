// Runs real stub executables: the POSIX stub natively and the Windows stub
// under Wine, and observes what a user would see.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace e2e {

namespace fs = std::filesystem;

enum class Platform { posix, wine };

using Box = harness::Message;

struct Result {
  int exit_code = -1;
  std::vector<Box> boxes;
  std::string output;          // what the process wrote to stderr
  std::string standard_output; // and to stdout
  std::string warning() const;
  std::string report() const;
};

class Runner {
public:
  explicit Runner(Platform platform);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;
  Platform platform() const { return platform_; }
  bool available() const;

  fs::path stub() const;          // the real, sealed stub
  fs::path record_helper() const; // the argument recorder
  fs::path frame_probe() const;
  std::string program_suffix() const { return platform_ == Platform::wine ? ".exe" : ""; }

  // A host path as the program under test writes it.
  std::string path_argument(const fs::path& path) const;

  // The directories the program under test uses: its temp directory and the
  // directory that holds the restart-rename list.
  fs::path temp_directory() const;
  fs::path windows_directory() const;

  Result run(const fs::path& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {}) const;

private:
  Platform platform_;
  fs::path scratch_;
};

// Waits up to `seconds` for a file to exist (launched programs run on their
// own); answers whether it does.
bool wait_for(const fs::path& path, double seconds = 15);

} // namespace e2e
