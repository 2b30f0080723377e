// SHA-256 of files, as `sha256sum` prints it, for the summaries that let a
// release engineer publish and check an installer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace packlib {

class Sha256 {
public:
  Sha256();
  void add(const uint8_t* bytes, size_t count);
  // The digest in lower-case hexadecimal; the object is spent.
  std::string hex();

private:
  void block(const uint8_t* bytes);

  uint32_t state_[8];
  uint8_t pending_[64];
  size_t pending_count_ = 0;
  uint64_t total_ = 0;
};

// The digest of a whole file; throws naming the file when it cannot be read.
std::string sha256_of_file(const std::filesystem::path& path);

} // namespace packlib
