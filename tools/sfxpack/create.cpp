// sfxpack create: packs files behind a stub, as one installer or a split set.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "package/format.h"
#include "package/pe_image.h"
#include "support/inflate/crc32.h"
#include "support/text/c_string.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"
#include "tools/packlib/stub_image.h"
#include "tools/sfxpack/cli.h"
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/inputs.h"
#include "tools/sfxpack/progress.h"

namespace fs = std::filesystem;
using packlib::Bytes;

namespace sfxpack {

namespace {

void warn(const std::string& text) {
  std::fprintf(stderr, "sfxpack: warning: %s\n", text.c_str());
}

struct FileStamp {
  uintmax_t size;
  fs::file_time_type time;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stamp_of(const fs::path& path) {
  std::error_code error;
  FileStamp stamp{fs::file_size(path, error), {}};
  if (error)
    throw std::runtime_error(display(path) + ": vanished while packing");
  stamp.time = fs::last_write_time(path, error);
  if (error)
    throw std::runtime_error(display(path) + ": vanished while packing");
  return stamp;
}

// The temporary files being written, removed when SIGINT or SIGTERM ends
// the tool: a stopped run leaves no partial output.
char pending[1024][4096];
volatile std::sig_atomic_t pending_count = 0;

// Newest first, so that spool files go before their directory.
extern "C" void remove_pending(int signal_number) {
  for (int i = pending_count - 1; i >= 0; --i)
    std::remove(pending[i]);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void note_pending(const fs::path& path) {
  std::string text = path.string();
  if (text.size() < sizeof pending[0] && pending_count < 1024) {
    std::memcpy(pending[pending_count], text.c_str(), text.size() + 1);
    pending_count = pending_count + 1;
  }
}

// One file's zlib stream: in memory while all streams held there stay
// within a budget, else in a spool file beside the output, so that packing
// takes bounded memory whatever the size of the files.
struct Stream {
  std::string name;
  uint64_t size = 0;
  Bytes bytes;    // the stream, when in memory
  fs::path spool; // the stream, when spilled
};

constexpr size_t chunk_size = 1 << 20;
constexpr int64_t memory_budget = 16 << 20;

class Spool {
public:
  explicit Spool(const fs::path& output) : output_(output) {}
  ~Spool() {
    std::error_code ignored;
    if (!directory_.empty())
      fs::remove_all(directory_, ignored);
  }
  // Takes `bytes` more into memory if the budget allows.
  bool reserve(size_t bytes) {
    if (held_.fetch_add(int64_t(bytes)) + int64_t(bytes) <= memory_budget)
      return true;
    held_ -= int64_t(bytes);
    return false;
  }
  void release(size_t bytes) { held_ -= int64_t(bytes); }
  // A new spool file, created exclusively in a directory made for this run
  // alone, so that nobody else can plant or rewrite a stream.
  std::FILE* next_file(fs::path* path) {
    std::lock_guard<std::mutex> lock(lock_);
    if (directory_.empty()) {
      directory_ = packlib::create_private_directory(output_, ".spool");
      note_pending(directory_);
    }
    *path = directory_ / std::to_string(count_++);
    note_pending(*path);
    return packlib::create_exclusive(*path);
  }

private:
  fs::path output_;
  fs::path directory_;
  std::atomic<int64_t> held_{0};
  std::mutex lock_;
  int count_ = 0;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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
        throw std::runtime_error(display(stream_.spool) + ": cannot write");
      spool_.release(stream_.bytes.size());
      Bytes().swap(stream_.bytes);
    }
    if (spilled_) {
      if (std::fwrite(bytes, 1, count, spilled_.get()) != count)
        throw std::runtime_error(display(stream_.spool) + ": cannot write");
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
Stream compress_file(const Input& input, int level, Spool& spool, MemoryPool& pool,
                     Progress& progress) {
  FileStamp before = stamp_of(input.path);
  if (before.size > layout::largest_compressed_size)
    throw std::runtime_error(display(input.path) + ": larger than 2 GiB - 1");
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
    Bytes content = packlib::read_whole_file(input.path);
    if (!(stamp_of(input.path) == before) || content.size() != before.size)
      throw std::runtime_error(display(input.path) + ": changed while packing");
    Bytes compressed = packlib::compress_stream(content, level);
    progress.add(content.size());
    Bytes().swap(content);
    sink.append(std::move(compressed));
    return stream;
  }
  File in(packlib::open_file(input.path, "rb"));
  if (!in)
    throw std::runtime_error(display(input.path) + ": cannot open: " + std::strerror(errno));
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
    progress.add(count);
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
    throw std::runtime_error(display(input.path) + ": cannot read");
  if (!(stamp_of(input.path) == before) || read != before.size)
    throw std::runtime_error(display(input.path) + ": changed while packing");
  return stream;
}

// Compresses every input on all cores; each stream is independent, so the
// result does not depend on the order in which threads finish.
std::vector<Stream> compress_inputs(const std::vector<Input>& inputs, int level, bool quiet,
                                    Spool& spool) {
  std::vector<Stream> streams(inputs.size());
  std::vector<std::string> errors(inputs.size());
  std::atomic<size_t> next{0};
  uint64_t total = 0;
  for (const Input& input : inputs) {
    std::error_code ignored;
    total += fs::file_size(input.path, ignored);
  }
  Progress progress(total, !quiet && stderr_is_terminal());
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

// The tool's own file, links resolved: where it runs from decides nothing.
fs::path own_executable(const char* program) {
  std::error_code error;
#ifdef _WIN32
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  if (length > 0 && length < 32768)
    return fs::canonical(fs::path(std::wstring(path, length)), error);
#else
  fs::path self = fs::canonical("/proc/self/exe", error);
  if (!error)
    return self;
#endif
  return fs::canonical(program, error);
}

// The stub of a target, found from the tool's own place: installed
// (PREFIX/bin/sfxpack and PREFIX/share/sfxstub/stub-TARGET), unpacked beside
// the tool (stub-TARGET), or in the build tree (build/posix/bin/sfxpack and
// build/TARGET/bin/stub).
fs::path default_stub(const std::string& target, const char* program) {
  fs::path directory = own_executable(program).parent_path();
  std::string installed = "stub-" + target + (target == "posix" ? "" : ".exe");
  std::string built = target == "posix" ? "stub" : "stub.exe";
  std::vector<fs::path> candidates = {
      directory / ".." / "share" / "sfxstub" / installed,
      directory / installed,
      directory / ".." / ".." / target / "bin" / built,
  };
  for (const fs::path& candidate : candidates)
    if (fs::exists(candidate))
      return candidate;
  throw std::runtime_error("no " + target + " stub installed with sfxpack (looked in " +
                           display(candidates.front().lexically_normal()) +
                           "); name one with --stub");
}

uint64_t parse_size(const std::string& text) {
  size_t used = 0;
  uint64_t value = 0;
  try {
    value = std::stoull(text, &used);
  } catch (...) {
    throw UsageError("create", "bad size: " + text);
  }
  std::string suffix = text.substr(used);
  if (suffix == "K" || suffix == "k")
    value <<= 10;
  else if (suffix == "M" || suffix == "m")
    value <<= 20;
  else if (suffix == "G" || suffix == "g")
    value <<= 30;
  else if (!suffix.empty())
    throw UsageError("create", "bad size: " + text);
  if (value == 0 || value > uint64_t(INT32_MAX))
    throw UsageError("create", "split size out of range: " + text);
  return value;
}

// Writes an installer's bytes in order, into one file or across a head and
// its volumes, each first under a temporary name that is renamed into place
// once all are complete, so a failed run leaves no half-written output.
class InstallerWriter {
public:
  // `pieces[i]` is written with `sizes[i]` bytes; the last takes the rest.
  InstallerWriter(std::vector<fs::path> pieces, std::vector<size_t> sizes)
      : pieces_(std::move(pieces)), sizes_(std::move(sizes)) {}
  ~InstallerWriter() {
    file_.reset();
    if (!done_)
      for (const fs::path& piece : pieces_) {
        std::error_code ignored;
        fs::remove(temporary(piece), ignored);
      }
  }
  void write(const uint8_t* bytes, size_t count) {
    while (count > 0) {
      if (!file_ || (index_ + 1 < pieces_.size() && written_ == sizes_[index_])) {
        if (file_)
          ++index_;
        open_piece();
      }
      uint64_t room = index_ + 1 < pieces_.size() ? sizes_[index_] - written_ : count;
      size_t part = size_t(std::min<uint64_t>(room, count));
      if (std::fwrite(bytes, 1, part, file_.get()) != part)
        throw std::runtime_error(display(temporary(pieces_[index_])) + ": cannot write");
      if (checksum_ && index_ == 0)
        add_to_pe_checksum(*checksum_, bytes, uint32_t(part));
      written_ += part, bytes += part, count -= part;
    }
  }
  void write(const Bytes& bytes) { write(bytes.data(), bytes.size()); }
  // The first piece (the installer, or a set's head) is a PE file whose
  // checksum field at `field` is to hold the checksum of what it holds.
  void keep_pe_checksum(uint32_t field) {
    checksum_.emplace();
    checksum_->field = field;
  }
  // Closes the last piece, fills in the checksum and renames every piece
  // into place.
  void finish() {
    if (!file_)
      open_piece();
    if (std::fflush(file_.get()) != 0)
      throw std::runtime_error(display(temporary(pieces_[index_])) + ": cannot write");
    file_.reset();
    if (checksum_) {
      fs::path first = temporary(pieces_[0]);
      uint8_t value[4];
      store_u32(value, pe_checksum_value(*checksum_));
      File head(packlib::open_file(first, "r+b"));
      if (!head || std::fseek(head.get(), long(checksum_->field), SEEK_SET) != 0 ||
          std::fwrite(value, 1, 4, head.get()) != 4 || std::fflush(head.get()) != 0)
        throw std::runtime_error(display(first) + ": cannot write");
    }
    for (const fs::path& piece : pieces_)
      packlib::move_into_place(temporary(piece), piece);
    done_ = true;
  }

private:
  static fs::path temporary(const fs::path& piece) { return packlib::temporary_name(piece); }
  void open_piece() {
    fs::path path = temporary(pieces_[index_]);
    note_pending(path);
    file_.reset(packlib::create_exclusive(path));
    if (!file_)
      throw std::runtime_error(display(path) + ": cannot create: " + std::strerror(errno));
    written_ = 0;
  }

  std::vector<fs::path> pieces_;
  std::vector<size_t> sizes_;
  File file_;
  size_t index_ = 0;
  uint64_t written_ = 0;
  bool done_ = false;
  std::optional<PeChecksum> checksum_;
};

// Hands the package's body (the records and the run record with its gap)
// to `emit` piece by piece, with the streams taken from memory or their
// spool files; `last_pass` lets go of the streams held in memory.
template <class Emit>
void emit_body(std::vector<Stream>& streams, const std::optional<std::string>& run_command,
               bool last_pass, Emit emit) {
  packlib::PackageBuilder builder((Bytes()));
  std::vector<uint8_t> chunk(chunk_size);
  for (Stream& stream : streams) {
    builder.bytes().clear();
    builder.record_head(stream.name, uint32_t(stream.size));
    emit(builder.bytes().data(), builder.bytes().size());
    if (stream.spool.empty()) {
      emit(stream.bytes.data(), stream.bytes.size());
      if (last_pass)
        Bytes().swap(stream.bytes);
      continue;
    }
    File in(packlib::open_file(stream.spool, "rb"));
    size_t count;
    while (in && (count = std::fread(chunk.data(), 1, chunk.size(), in.get())) > 0)
      emit(chunk.data(), count);
    if (!in || std::ferror(in.get()))
      throw std::runtime_error(display(stream.spool) + ": cannot read");
  }
  builder.bytes().clear();
  if (run_command)
    builder.run(*run_command);
  emit(builder.bytes().data(), builder.bytes().size());
}

// Writes the stub and the package: the same bytes as
// packlib::build_installer. A checksum takes a first pass over the body.
void write_installer(InstallerWriter& writer, const Bytes& stub, std::vector<Stream>& streams,
                     const std::optional<std::string>& run_command, size_t padding,
                     uint8_t options) {
  uint32_t crc = 0;
  if (options & layout::option_checksum)
    emit_body(streams, run_command, false, [&](const uint8_t* bytes, size_t count) {
      crc = crc32_fast_update(crc, bytes, count);
    });
  Bytes padded = stub;
  padded.resize(stub.size() + padding, 0);
  packlib::PackageBuilder builder(padded);
  builder.header().options(options);
  if (options & layout::option_checksum)
    store_u32(builder.bytes().data() + padded.size() + layout::checksum_offset, crc);
  writer.write(builder.bytes());
  emit_body(streams, run_command, true,
            [&](const uint8_t* bytes, size_t count) { writer.write(bytes, count); });
  builder.bytes().clear();
  builder.trailer();
  writer.write(builder.bytes());
  writer.finish();
}

// A setup command whose program is not among the stored files, and one in
// which "%path%" ends right before a quote, are most likely mistakes.
void check_run_command(const std::string& command, const std::vector<Input>& inputs,
                       bool windows_target) {
  bool found = false;
  for (const Input& input : inputs)
    if (command.rfind(input.name, 0) == 0 &&
        (command.size() == input.name.size() || command[input.name.size()] == ' '))
      found = true;
  if (!found && !command.empty())
    warn("the setup command \"" + command +
         "\" does not start with a stored file; the stub runs it from the target directory");
  if (windows_target && command.find("%path%\"") != std::string::npos)
    warn("\"%path%\" ends in a backslash, and Windows programs read \\\" as a quote: "
         "write \"%path%.\" instead");
}

// Whether `output` lies inside one of the directories being packed.
bool inside_inputs(const fs::path& output, const std::vector<std::string>& paths) {
  std::error_code error;
  fs::path target = fs::weakly_canonical(fs::absolute(output), error);
  for (const std::string& path : paths) {
    if (!fs::is_directory(packlib::utf8_path(path), error))
      continue;
    fs::path directory = fs::weakly_canonical(fs::absolute(packlib::utf8_path(path)), error);
    fs::path relative = target.lexically_relative(directory);
    if (!relative.empty() && *relative.begin() != "..")
      return true;
  }
  return false;
}

} // namespace

int create(const std::vector<std::string>& words, const char* program) {
  Arguments arguments = parse_arguments(
      "create", words,
      {"--output", "--stub", "--target", "--run", "--level", "--split", "--exclude"},
      {"--quiet", "--dereference", "--wait", "--no-checksum"});
  std::string output = arguments.value("--output");
  std::string target = arguments.value("--target", "win32");
  std::optional<std::string> run_command;
  if (arguments.has("--run"))
    run_command = arguments.value("--run");
  int level = 6;
  if (arguments.has("--level")) {
    std::string text = arguments.value("--level");
    level = text.size() >= 1 && text.size() <= 2 &&
                    text.find_first_not_of("0123456789") == std::string::npos
                ? std::stoi(text)
                : -1;
    if (level < 0 || level > 12)
      throw UsageError("create", "--level takes 0 to 12");
  }
  std::optional<uint64_t> split;
  if (arguments.has("--split"))
    split = parse_size(arguments.value("--split"));
  bool quiet = arguments.has("--quiet");
  if (output.empty())
    throw UsageError("create", "create needs -o OUT");
  if (arguments.operands.empty())
    throw UsageError("create", "create needs the files or directories to pack");
  if (target != "win32" && target != "win64" && target != "posix")
    throw UsageError("create", "--target is win32, win64 or posix");
  if (run_command && run_command->size() > layout::largest_length)
    throw std::runtime_error("setup command longer than 254 bytes");
  if (inside_inputs(packlib::utf8_path(output), arguments.operands))
    throw std::runtime_error(output + ": the output lies inside a directory being packed");

  fs::path stub_file = arguments.has("--stub") ? packlib::utf8_path(arguments.value("--stub"))
                                               : default_stub(target, program);
  Bytes stub = packlib::read_whole_file(stub_file);
  packlib::SealState seal = packlib::check_seal(stub);
  if (!seal.sealed || !seal.intact || seal.length != stub.size())
    throw std::runtime_error(display(stub_file) + ": not a sealed stub");
  if (split && packlib::is_elf_image(stub))
    throw std::runtime_error(display(stub_file) +
                             ": an ELF stub cannot be the head of a split set (its program "
                             "headers occupy the split-set header's bytes)");
  // The stub finds its volumes by replacing the extension of its own full
  // path: a head without one in its file name would look elsewhere.
  fs::path head = fs::absolute(packlib::utf8_path(output));
  std::string head_text = display(head);
  size_t name_start = head_text.size() - display(head.filename()).size();
  if (split &&
      size_t(extension_position(head_text.c_str(), int32_t(head_text.size()))) <= name_start)
    throw std::runtime_error(output + ": a head needs an extension, such as setup.exe: the stub "
                                      "names its volumes by replacing it");

  InputRules rules;
  rules.dereference = arguments.has("--dereference");
  if (arguments.has("--exclude"))
    rules.excluded = arguments.options["--exclude"];
  rules.windows_target = packlib::is_pe_image(stub);
  std::vector<Input> inputs = gather_inputs(arguments.operands, rules);
  if (run_command)
    check_run_command(*run_command, inputs, rules.windows_target);

  std::signal(SIGINT, remove_pending);
  std::signal(SIGTERM, remove_pending);
  Spool spool(packlib::utf8_path(output));
  std::vector<Stream> streams = compress_inputs(inputs, level, quiet, spool);
  std::vector<std::pair<std::string, uint64_t>> sizes;
  for (const Stream& stream : streams)
    sizes.push_back({stream.name, stream.size});
  size_t package = packlib::package_length(sizes, run_command);
  size_t padding = packlib::alignment_padding(stub.size(), package);
  size_t installer_size = stub.size() + padding + package;
  if (installer_size > layout::largest_compressed_size)
    throw std::runtime_error("installer larger than 2 GiB - 1");
  std::vector<fs::path> pieces = {packlib::utf8_path(output)};
  std::vector<size_t> piece_sizes = {installer_size};
  if (split) {
    piece_sizes = packlib::split_piece_sizes(installer_size, stub.size(), size_t(*split));
    store_split_set_header(stub.data() + layout::split_set_offset, int32_t(piece_sizes.size()));
    for (size_t i = 1; i < piece_sizes.size(); ++i)
      pieces.push_back(packlib::utf8_path(packlib::volume_name(head_text, int(i))));
  }
  InstallerWriter writer(pieces, piece_sizes);
  PeFields fields = pe_fields(stub.data(), uint32_t(stub.size()));
  if (fields.valid)
    writer.keep_pe_checksum(fields.checksum);
  // Names and the command are stored in UTF-8; a package that holds any
  // byte outside ASCII says so, and one that holds none stays as it was.
  auto outside_ascii = [](const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (unsigned char)c >= 0x80; });
  };
  bool utf8 = (run_command && outside_ascii(*run_command)) ||
              std::any_of(streams.begin(), streams.end(),
                          [&](const Stream& stream) { return outside_ascii(stream.name); });
  uint8_t options = uint8_t((utf8 ? layout::option_utf8 : 0) |
                            (arguments.has("--wait") ? layout::option_wait : 0) |
                            (arguments.has("--no-checksum") ? 0 : layout::option_checksum));
  write_installer(writer, stub, streams, run_command, padding, options);
  size_t volumes = pieces.size() - 1;
  if (split) {
    // Volumes of an earlier, longer set would only confuse.
    for (int i = int(pieces.size()); i < layout::largest_volume_count; ++i) {
      fs::path stale = packlib::utf8_path(packlib::volume_name(head_text, i));
      std::error_code ignored;
      if (fs::remove(stale, ignored) && !quiet)
        warn("removed " + display(stale) + ", a volume of an earlier, longer set");
    }
  }
  if (!quiet) {
    uintmax_t in = 0;
    for (const Input& input : inputs) {
      std::error_code ignored;
      in += fs::file_size(input.path, ignored);
    }
    uintmax_t compressed = 0;
    for (const Stream& stream : streams)
      compressed += stream.size;
    std::printf("%s: %zu files, %ju bytes in, %zu bytes out (the files compressed to %.1f%%)",
                output.c_str(), streams.size(), in, installer_size,
                in ? 100.0 * double(compressed) / double(in) : 100.0);
    if (split)
      std::printf(", %zu volumes", volumes);
    std::printf("\n");
  }
  return 0;
}

} // namespace sfxpack
