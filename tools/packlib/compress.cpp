// The compression workers, their memory pool and the stream sinks.
#include "tools/packlib/compress.h"
#include "tools/packlib/file_io.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <zlib.h>

#include "package/layout.h"
#include "tools/packlib/package.h"

namespace fs = std::filesystem;

namespace packlib {

namespace {

constexpr size_t chunk_size = 1 << 20;
constexpr int64_t memory_budget = 16 << 20;

} // namespace

Spool::~Spool() {
  std::error_code ignored;
  if (!directory_.empty())
    fs::remove_all(directory_, ignored);
}

bool Spool::reserve(size_t bytes) {
  if (held_.fetch_add(int64_t(bytes)) + int64_t(bytes) <= memory_budget)
    return true;
  held_ -= int64_t(bytes);
  return false;
}

std::FILE* Spool::next_file(fs::path* path) {
  std::lock_guard<std::mutex> lock(lock_);
  if (directory_.empty()) {
    directory_ = create_private_directory(output_, ".spool");
    note_pending(directory_);
  }
  *path = directory_ / std::to_string(count_++);
  note_pending(*path);
  return create_exclusive(*path);
}

namespace {

struct FileStamp {
  uintmax_t size;
  fs::file_time_type time;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stamp_of(const fs::path& path) {
  std::error_code error;
  FileStamp stamp{fs::file_size(path, error), {}};
  if (error)
    throw std::runtime_error(shown_path(path) + ": vanished while packing");
  stamp.time = fs::last_write_time(path, error);
  if (error)
    throw std::runtime_error(shown_path(path) + ": vanished while packing");
  return stamp;
}

// Memory for compressing whole files, shared by the workers: a file whose
// need does not fit at all is compressed in chunks instead.
class MemoryPool {
public:
  explicit MemoryPool(int64_t capacity) : capacity_(capacity), free_(capacity) {}
  bool acquire(int64_t bytes) {
    if (bytes > capacity_)
      return false;
    std::unique_lock<std::mutex> lock(lock_);
    freed_.wait(lock, [&] { return free_ >= bytes; });
    free_ -= bytes;
    return true;
  }
  void release(int64_t bytes) {
    std::lock_guard<std::mutex> lock(lock_);
    free_ += bytes;
    freed_.notify_all();
  }

private:
  int64_t capacity_;
  int64_t free_;
  std::mutex lock_;
  std::condition_variable freed_;
};

// The pool covers the file, its stream and libdeflate's compressor (some
// 10 MiB at levels 10 to 12), so it also bounds how many run at once; files
// of more than about 7 MiB take zlib's level 9 in chunks instead.
constexpr int64_t whole_file_memory = 24 << 20;
constexpr int64_t compressor_memory = 10 << 20;

// Appends to a stream: in memory within the spool's budget, else in a spool
// file.
class StreamSink {
public:
  StreamSink(Stream& stream, Spool& spool) : stream_(stream), spool_(spool) {}
  // A whole stream, kept without a copy when it fits the budget.
  void append(Bytes&& bytes) {
    if (!spilled_ && stream_.bytes.empty() && spool_.reserve(bytes.size())) {
      stream_.size = bytes.size();
      stream_.bytes = std::move(bytes);
      return;
    }
    append(bytes.data(), bytes.size());
  }
  void append(const uint8_t* bytes, size_t count) {
    if (!spilled_ && !spool_.reserve(count)) {
      spilled_.reset(spool_.next_file(&stream_.spool));
      if (!spilled_ || std::fwrite(stream_.bytes.data(), 1, stream_.bytes.size(), spilled_.get()) !=
                           stream_.bytes.size())
        throw std::runtime_error(shown_path(stream_.spool) + ": cannot write");
      spool_.release(stream_.bytes.size());
      Bytes().swap(stream_.bytes);
    }
    if (spilled_) {
      if (std::fwrite(bytes, 1, count, spilled_.get()) != count)
        throw std::runtime_error(shown_path(stream_.spool) + ": cannot write");
    } else {
      stream_.bytes.insert(stream_.bytes.end(), bytes, bytes + count);
    }
    stream_.size += count;
  }

private:
  Stream& stream_;
  Spool& spool_;
  File spilled_;
};

// Compresses a file in 1 MiB chunks with zlib's streaming deflate at levels
// 0 to 9; at 10 to 12 whole with libdeflate's optimal parsing when its
// memory fits the pool, else in chunks at zlib's 9.
Stream compress_file(const SourceFile& input, int level, Spool& spool, MemoryPool& pool,
                     const Progressed& progress) {
  // The file read is the one the gathering checked (no link swapped in
  // since, no other file renamed over it); its content stays checked
  // against its size and time below.
  bool changed = false;
  File in(open_input(input.path, input.seen, &changed));
  if (changed)
    throw std::runtime_error(shown_path(input.path) + ": changed while packing");
  if (!in)
    throw std::runtime_error(shown_path(input.path) + ": cannot open: " + std::strerror(errno));
  FileStamp before = stamp_of(input.path);
  if (before.size > layout::largest_compressed_size)
    throw std::runtime_error(shown_path(input.path) + ": larger than 2 GiB - 1");
  Stream stream;
  stream.name = input.name;
  StreamSink sink(stream, spool);
  int64_t need = 2 * int64_t(before.size) + (1 << 16) + compressor_memory;
  if (level > 9 && pool.acquire(need)) {
    struct Release {
      MemoryPool& pool;
      int64_t bytes;
      ~Release() { pool.release(bytes); }
    } release{pool, need};
    Bytes content;
    uint8_t block[65536];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, in.get())) > 0)
      content.insert(content.end(), block, block + count);
    if (std::ferror(in.get()))
      throw std::runtime_error(shown_path(input.path) + ": cannot read");
    if (!(stamp_of(input.path) == before) || content.size() != before.size)
      throw std::runtime_error(shown_path(input.path) + ": changed while packing");
    Bytes compressed = compress_stream(content, level);
    progress(content.size());
    Bytes().swap(content);
    sink.append(std::move(compressed));
    return stream;
  }
  std::vector<uint8_t> chunk(chunk_size), out(chunk_size);
  z_stream z{};
  if (deflateInit2(&z, std::min(level, 9), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  uint64_t read = 0;
  int result = Z_OK;
  for (bool end = false; !end;) {
    size_t count = std::fread(chunk.data(), 1, chunk.size(), in.get());
    end = count < chunk.size();
    read += count;
    progress(count);
    z.next_in = chunk.data();
    z.avail_in = uInt(count);
    do {
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      result = deflate(&z, end ? Z_FINISH : Z_NO_FLUSH);
      sink.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  if (result != Z_STREAM_END || std::ferror(in.get()))
    throw std::runtime_error(shown_path(input.path) + ": cannot read");
  if (!(stamp_of(input.path) == before) || read != before.size)
    throw std::runtime_error(shown_path(input.path) + ": changed while packing");
  return stream;
}

} // namespace

std::vector<Stream> compress_inputs(const std::vector<SourceFile>& inputs, int level, Spool& spool,
                                    const Progressed& progress) {
  std::vector<Stream> streams(inputs.size());
  std::vector<std::string> errors(inputs.size());
  std::atomic<size_t> next{0};
  MemoryPool pool(whole_file_memory);
  auto work = [&] {
    for (size_t i; (i = next++) < inputs.size();) {
      try {
        streams[i] = compress_file(inputs[i], level, spool, pool, progress);
      } catch (const std::exception& error) {
        errors[i] = error.what();
      }
    }
  };
  unsigned count = std::max(
      1u, std::min<unsigned>(std::thread::hardware_concurrency(), unsigned(inputs.size())));
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < count; ++i)
    threads.emplace_back(work);
  work();
  for (std::thread& thread : threads)
    thread.join();
  for (const std::string& error : errors)
    if (!error.empty())
      throw std::runtime_error(error);
  return streams;
}

} // namespace packlib
