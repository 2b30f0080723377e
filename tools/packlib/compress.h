// Compressing the files of a package: each file's zlib stream on all
// cores, held in memory within a budget and spilled to private spool files
// beyond it, so that packing takes bounded memory whatever the files' size.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tools/packlib/file_io.h"
#include "tools/packlib/host.h"
#include "tools/packlib/pending.h"

namespace packlib {

using Bytes = std::vector<uint8_t>;

// A file to pack: its stored name and where it is read from.
struct SourceFile {
  std::string name; // stored name, backslashes between directories
  std::filesystem::path path;
  InputIdentity seen; // what the gathering saw there
};

// One file's zlib stream: in memory while all streams held there stay
// within a budget, else in a spool file beside the output, so that packing
// takes bounded memory whatever the size of the files.
struct Stream {
  std::string name;
  uint64_t size = 0;
  Bytes bytes;                 // the stream, when in memory
  std::filesystem::path spool; // the stream, when spilled
};

// The streams' memory budget, and the spool files beyond it: in a directory
// beside the output made for this run alone, removed with the spool.
class Spool {
public:
  explicit Spool(const std::filesystem::path& output) : output_(output) {}
  ~Spool();
  // Takes `bytes` more into memory if the budget allows.
  bool reserve(size_t bytes);
  void release(size_t bytes) { held_ -= int64_t(bytes); }
  // A new spool file, created exclusively, so that nobody else can plant or
  // rewrite a stream.
  std::FILE* next_file(std::filesystem::path* path);

private:
  std::filesystem::path output_;
  std::filesystem::path directory_;
  std::atomic<int64_t> held_{0};
  std::mutex lock_;
  int count_ = 0;
};

// Told the number of bytes read so far, from any of the workers.
using Progressed = std::function<void(uint64_t bytes)>;

// Compresses every input on all cores; each stream is independent, so the
// result does not depend on the order in which threads finish. Compressed
// in 1 MiB chunks with zlib's streaming deflate at levels 0 to 9; at 10 to
// 12 whole with libdeflate's optimal parsing where its memory fits a shared
// pool, else in chunks at zlib's 9. A file that changes while it is read
// fails the run.
std::vector<Stream> compress_inputs(const std::vector<SourceFile>& inputs, int level, Spool& spool,
                                    const Progressed& progress);

} // namespace packlib
