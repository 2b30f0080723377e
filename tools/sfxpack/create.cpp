// sfxpack create: packs files behind a stub, as one installer or a split set.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "package/format.h"
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

std::string display(const fs::path& path) {
  return packlib::utf8_text(path);
}

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

// Reads and compresses every input on all cores; each stream is independent,
// so the result does not depend on the order in which threads finish.
std::vector<packlib::StoredFile> compress_inputs(const std::vector<Input>& inputs, int level,
                                                 bool quiet) {
  std::vector<packlib::StoredFile> stored(inputs.size());
  std::vector<std::string> errors(inputs.size());
  std::atomic<size_t> next{0};
  uint64_t total = 0;
  for (const Input& input : inputs) {
    std::error_code ignored;
    total += fs::file_size(input.path, ignored);
  }
  Progress progress(total, !quiet && isatty(fileno(stderr)));
  auto work = [&] {
    for (size_t i; (i = next++) < inputs.size();) {
      try {
        FileStamp before = stamp_of(inputs[i].path);
        Bytes content = packlib::read_whole_file(inputs[i].path);
        if (!(stamp_of(inputs[i].path) == before) || content.size() != before.size)
          throw std::runtime_error(display(inputs[i].path) + ": changed while packing");
        if (content.size() > layout::largest_compressed_size)
          throw std::runtime_error(display(inputs[i].path) + ": larger than 2 GiB - 1");
        stored[i] = {inputs[i].name, packlib::deflate_stream(content, level)};
        progress.add(content.size());
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
  return stored;
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

// The temporary files being written, removed when SIGINT or SIGTERM ends
// the tool: a stopped run leaves no partial output.
char pending[202][4096];
volatile std::sig_atomic_t pending_count = 0;

extern "C" void remove_pending(int signal_number) {
  for (int i = 0; i < pending_count; ++i)
    std::remove(pending[i]);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void write_output(const fs::path& path, std::span<const uint8_t> bytes) {
  std::string temporary = path.string() + ".part"; // the name write_whole_file writes first
  if (temporary.size() < sizeof pending[0] && pending_count < 202) {
    std::memcpy(pending[pending_count], temporary.c_str(), temporary.size() + 1);
    pending_count = pending_count + 1;
  }
  packlib::write_whole_file(path, bytes);
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
      {"--quiet", "--dereference"});
  std::string output = arguments.value("--output");
  std::string target = arguments.value("--target", "win32");
  std::optional<std::string> run_command;
  if (arguments.has("--run"))
    run_command = arguments.value("--run");
  int level = -1;
  if (arguments.has("--level")) {
    std::string text = arguments.value("--level");
    if (text.size() != 1 || text[0] < '0' || text[0] > '9')
      throw UsageError("create", "--level takes 0 to 9");
    level = text[0] - '0';
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
  std::vector<packlib::StoredFile> files = compress_inputs(inputs, level, quiet);
  Bytes installer = packlib::build_installer(stub, files, run_command);
  size_t volumes = 0;
  if (!split) {
    write_output(packlib::utf8_path(output), installer);
  } else {
    std::vector<Bytes> pieces =
        packlib::split_installer(installer, uint32_t(stub.size()), uint32_t(*split));
    volumes = pieces.size() - 1;
    for (size_t i = 1; i < pieces.size(); ++i)
      write_output(packlib::utf8_path(packlib::volume_name(head_text, int(i))), pieces[i]);
    write_output(packlib::utf8_path(output), pieces[0]);
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
    uintmax_t streams = 0;
    for (const packlib::StoredFile& file : files)
      streams += file.stream.size();
    std::printf("%s: %zu files, %ju bytes in, %zu bytes out (the files compressed to %.1f%%)",
                output.c_str(), files.size(), in, installer.size(),
                in ? 100.0 * double(streams) / double(in) : 100.0);
    if (split)
      std::printf(", %zu volumes", volumes);
    std::printf("\n");
  }
  return 0;
}

} // namespace sfxpack
