// Runs real stub executables: the POSIX stub natively and the Windows stub
// under Wine, and observes what a user would see.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace e2e {

namespace fs = std::filesystem;

// The POSIX stub natively, the x86_64 Windows stub under wine64 and the
// i686 Windows stub under 32-bit Wine (where the kernel runs i386 code).
enum class Platform { posix, wine, wine32 };

inline bool is_wine(Platform platform) {
  return platform != Platform::posix;
}

inline const char* platform_name(Platform platform) {
  return platform == Platform::posix ? "posix" : platform == Platform::wine ? "wine" : "wine32";
}

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
  std::string program_suffix() const { return is_wine(platform_) ? ".exe" : ""; }
  // Why the platform cannot run here, for the test's skip line.
  std::string unavailable_reason() const;

  // A host path as the program under test writes it.
  std::string path_argument(const fs::path& path) const;

  // The directories the program under test uses: its temp directory and the
  // directory that holds the restart-rename list.
  fs::path temp_directory() const;
  fs::path windows_directory() const;

  Result run(const fs::path& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {}) const;

  fs::path prefix() const; // the platform's Wine prefix

private:
  Result run_once(const fs::path& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment) const;
  fs::path windows_build() const;
  Platform platform_;
  fs::path scratch_;
};

// Code signing as a publisher does it (osslsigncode, with a certificate made
// for the test run): signs `file` into `signed_file`; answers whether it
// worked. `signature_verifies` checks the signature against that
// certificate.
bool sign(const fs::path& file, const fs::path& signed_file);
bool signature_verifies(const fs::path& file);

// Waits up to `seconds` for a file to exist (launched programs run on their
// own); answers whether it does.
bool wait_for(const fs::path& path, double seconds = 15);

} // namespace e2e
