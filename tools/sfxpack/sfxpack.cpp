// sfxpack: builds installers (a stub with a package behind it) and split
// sets, and lists, verifies and extracts them.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "package/format.h"
#include "package/name_check.h"
#include "package/pe_image.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"
#include "tools/packlib/stub_image.h"

namespace fs = std::filesystem;
using packlib::Bytes;

namespace {

constexpr char usage_text[] =
    "usage:\n"
    "  sfxpack create -o OUT [--stub STUB | --target win32|win64|posix] [--run COMMAND]\n"
    "                 [--level 0-9] [--split SIZE] PATH...\n"
    "  sfxpack list [--json] IN\n"
    "  sfxpack verify IN\n"
    "  sfxpack extract IN DIR\n"
    "\n"
    "create   packs files and directories (recursively, names relative to each PATH)\n"
    "         behind a stub; --run names the setup command (\"%path%\" stands for the\n"
    "         target directory); --split SIZE cuts the installer into a head and\n"
    "         volumes OUT.F01, OUT.F02, ... of at most SIZE bytes (suffixes K, M, G).\n"
    "list     shows every stored file, its stored and inflated size, and the command.\n"
    "verify   checks the trailer, the header, every stream and the stub's seal.\n"
    "extract  writes the files as the stub would, refusing the same unsafe names.\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string display(const fs::path& path) {
  return path.string();
}

// ---- create ----------------------------------------------------------------

struct Input {
  std::string name; // stored name, backslashes between directories
  fs::path path;
};

void check_name(const std::string& name, const fs::path& path) {
  if (name.size() > size_t(layout::longest_name))
    throw std::runtime_error(display(path) + ": stored name longer than 253 bytes");
  if (!is_safe_name(name.data(), int32_t(name.size()), NameRules::windows))
    throw std::runtime_error(display(path) + ": stored name \"" + name +
                             "\" would leave the target directory or name a device");
}

std::string stored_name(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative) {
    if (!name.empty())
      name += '\\';
    name += part.string();
  }
  return name;
}

std::vector<Input> gather_inputs(const std::vector<std::string>& paths) {
  std::vector<Input> inputs;
  for (const std::string& argument : paths) {
    fs::path root(argument);
    std::error_code error;
    if (fs::is_directory(root, error)) {
      for (auto it = fs::recursive_directory_iterator(root);
           it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_regular_file())
          continue;
        inputs.push_back({stored_name(fs::relative(it->path(), root)), it->path()});
      }
    } else if (fs::is_regular_file(root, error)) {
      inputs.push_back({root.filename().string(), root});
    } else {
      throw std::runtime_error(argument + ": no such file or directory");
    }
  }
  std::stable_sort(inputs.begin(), inputs.end(),
                   [](const Input& a, const Input& b) { return a.name < b.name; });
  for (size_t i = 0; i < inputs.size(); ++i) {
    check_name(inputs[i].name, inputs[i].path);
    if (i > 0 && inputs[i].name == inputs[i - 1].name)
      throw std::runtime_error(display(inputs[i].path) + ": stored name \"" + inputs[i].name +
                               "\" given twice");
  }
  return inputs;
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
std::vector<packlib::StoredFile> compress_inputs(const std::vector<Input>& inputs, int level) {
  std::vector<packlib::StoredFile> stored(inputs.size());
  std::vector<std::string> errors(inputs.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> done{0};
  std::mutex progress_lock;
  bool show_progress = isatty(fileno(stderr));
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
      } catch (const std::exception& error) {
        errors[i] = error.what();
      }
      size_t finished = ++done;
      if (show_progress) {
        std::lock_guard<std::mutex> lock(progress_lock);
        std::fprintf(stderr, "\rsfxpack: %zu/%zu files", finished, inputs.size());
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
  if (show_progress && !inputs.empty())
    std::fprintf(stderr, "\n");
  for (const std::string& error : errors)
    if (!error.empty())
      throw std::runtime_error(error);
  return stored;
}

fs::path default_stub(const std::string& target, const char* program) {
  std::error_code error;
  fs::path tool = fs::canonical(program, error);
  fs::path directory = error ? fs::path(".") : tool.parent_path();
  std::string file = target == "posix" ? "stub" : "stub.exe";
  std::vector<fs::path> candidates = {
      directory / ("stub-" + target + (target == "posix" ? "" : ".exe")),
      directory / ".." / ".." / target / "bin" / file,
  };
  for (const fs::path& candidate : candidates)
    if (fs::exists(candidate))
      return candidate;
  throw std::runtime_error("no " + target + " stub beside sfxpack; name one with --stub");
}

uint64_t parse_size(const std::string& text) {
  size_t used = 0;
  uint64_t value = 0;
  try {
    value = std::stoull(text, &used);
  } catch (...) {
    throw UsageError("bad size: " + text);
  }
  std::string suffix = text.substr(used);
  if (suffix == "K" || suffix == "k")
    value <<= 10;
  else if (suffix == "M" || suffix == "m")
    value <<= 20;
  else if (suffix == "G" || suffix == "g")
    value <<= 30;
  else if (!suffix.empty())
    throw UsageError("bad size: " + text);
  if (value == 0 || value > uint64_t(INT32_MAX))
    throw UsageError("split size out of range: " + text);
  return value;
}

int create(const std::vector<std::string>& arguments, const char* program) {
  std::string output, stub_path, target = "win32";
  std::optional<std::string> run_command;
  int level = -1;
  std::optional<uint64_t> split;
  std::vector<std::string> paths;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size())
        throw UsageError(word + " needs a value");
      return arguments[++i];
    };
    if (word == "-o" || word == "--output")
      output = value();
    else if (word == "--stub")
      stub_path = value();
    else if (word == "--target")
      target = value();
    else if (word == "--run")
      run_command = value();
    else if (word == "--level") {
      const std::string& text = value();
      if (text.size() != 1 || text[0] < '0' || text[0] > '9')
        throw UsageError("--level takes 0 to 9");
      level = text[0] - '0';
    } else if (word == "--split")
      split = parse_size(value());
    else if (!word.empty() && word[0] == '-' && word != "-")
      throw UsageError("unknown option " + word);
    else
      paths.push_back(word);
  }
  if (output.empty())
    throw UsageError("create needs -o OUT");
  if (target != "win32" && target != "win64" && target != "posix")
    throw UsageError("--target is win32, win64 or posix");
  if (run_command && run_command->size() > layout::largest_length)
    throw std::runtime_error("setup command longer than 254 bytes");

  fs::path stub_file = stub_path.empty() ? default_stub(target, program) : fs::path(stub_path);
  Bytes stub = packlib::read_whole_file(stub_file);
  packlib::SealState seal = packlib::check_seal(stub);
  if (!seal.sealed || !seal.intact || seal.length != stub.size())
    throw std::runtime_error(display(stub_file) + ": not a sealed stub");
  if (split && packlib::is_elf_image(stub))
    throw std::runtime_error(display(stub_file) +
                             ": an ELF stub cannot be the head of a split set (its program "
                             "headers occupy the split-set header's bytes)");

  std::vector<packlib::StoredFile> files = compress_inputs(gather_inputs(paths), level);
  Bytes installer = packlib::build_installer(stub, files, run_command);
  if (!split) {
    packlib::write_whole_file(output, installer);
    return 0;
  }
  std::vector<Bytes> pieces =
      packlib::split_installer(installer, uint32_t(stub.size()), uint32_t(*split));
  for (size_t i = 1; i < pieces.size(); ++i)
    packlib::write_whole_file(packlib::volume_name(output, int(i)), pieces[i]);
  packlib::write_whole_file(output, pieces[0]);
  return 0;
}

// ---- reading ---------------------------------------------------------------

// An installer as the stub reads it: a head of a split set is joined with
// its volumes, as the stub joins them.
struct Installer {
  Bytes bytes;
  bool signed_file = false; // the file carries a code-signing certificate table
};

Installer load_installer(const std::string& path) {
  Installer installer{packlib::read_whole_file(path)};
  Bytes& bytes = installer.bytes;
  size_t end = packlib::package_data_end(bytes);
  installer.signed_file = end != bytes.size();
  int32_t count = 0;
  if (bytes.size() >= size_t(layout::split_set_offset + layout::split_set_header_size) &&
      is_split_set_header(bytes.data() + layout::split_set_offset, &count)) {
    if (count > layout::largest_volume_count)
      throw std::runtime_error(path + ": split set of more than 200 files");
    // A signed head's certificate table stays behind, as in the stub's
    // joined copy.
    if (installer.signed_file) {
      bytes.resize(end);
      PeFields pe = pe_fields(bytes.data(), uint32_t(bytes.size()));
      if (pe.valid && pe.certificates + 8 <= bytes.size())
        std::fill_n(bytes.begin() + pe.certificates, 8, 0);
    }
    for (int i = 1; i < count; ++i) {
      Bytes volume = packlib::read_whole_file(packlib::volume_name(path, i));
      bytes.insert(bytes.end(), volume.begin(), volume.end());
    }
    bytes[layout::split_set_offset] = 0;
  }
  return installer;
}

std::string json_text(const std::string& text) {
  std::string out = "\"";
  for (unsigned char byte : text) {
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += char(byte);
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += char(byte);
    }
  }
  return out + "\"";
}

int list(const std::vector<std::string>& arguments) {
  bool json = false;
  std::string input;
  for (const std::string& word : arguments) {
    if (word == "--json")
      json = true;
    else if (input.empty())
      input = word;
    else
      throw UsageError("list takes one installer");
  }
  if (input.empty())
    throw UsageError("list needs an installer");
  Installer installer = load_installer(input);
  const Bytes& bytes = installer.bytes;
  packlib::Listing listing = packlib::read_installer(bytes);
  std::string out = json ? "{\"files\":[" : "";
  bool first = true;
  for (const packlib::ListedFile& file : listing.files) {
    auto content = packlib::inflate_stream(
        std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size));
    std::string size = content ? std::to_string(content->size()) : (json ? "null" : "damaged");
    if (json) {
      out += std::string(first ? "" : ",") + "{\"name\":" + json_text(file.name) +
             ",\"stored\":" + std::to_string(file.stored_size) + ",\"size\":" + size + "}";
    } else {
      char line[64];
      std::snprintf(line, sizeof line, "%12u %12s  ", file.stored_size, size.c_str());
      out += line + file.name + "\n";
    }
    first = false;
  }
  if (json) {
    out += "],\"run\":" + (listing.run_command ? json_text(*listing.run_command) : "null") +
           ",\"signed\":" + (installer.signed_file ? "true" : "false") + "}\n";
  } else {
    if (listing.run_command)
      out += "run: " + *listing.run_command + "\n";
    if (installer.signed_file)
      out += "signed: a code-signing certificate table ends the file (not checked)\n";
  }
  std::fputs(out.c_str(), stdout);
  return 0;
}

int verify(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1)
    throw UsageError("verify takes one installer");
  const std::string& input = arguments[0];
  Installer installer = load_installer(input);
  const Bytes& bytes = installer.bytes;
  int problems = 0;
  auto problem = [&](const std::string& text) {
    std::fprintf(stderr, "sfxpack: %s: %s\n", input.c_str(), text.c_str());
    ++problems;
  };
  packlib::SealState seal = packlib::check_seal(bytes);
  if (!seal.sealed)
    problem("the stub carries no seal");
  else if (!seal.intact)
    problem("the stub's bytes do not match its seal");
  packlib::Listing listing;
  try {
    listing = packlib::read_installer(bytes);
  } catch (const std::exception& error) {
    problem(error.what());
    return 1;
  }
  if (seal.sealed && seal.length > listing.package_offset)
    problem("the package begins inside the sealed stub");
  // Names are checked by the rules of the system the stub runs on.
  NameRules rules = packlib::is_elf_image(bytes) ? NameRules::posix : NameRules::windows;
  for (const packlib::ListedFile& file : listing.files) {
    if (!is_safe_name(file.name.data(), int32_t(file.name.size()), rules))
      problem("unsafe name: " + file.name);
    if (!packlib::inflate_stream(
            std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size)))
      problem("damaged stream: " + file.name);
  }
  if (problems == 0)
    std::printf("%s: OK, %zu files%s\n", input.c_str(), listing.files.size(),
                installer.signed_file ? ", signed (the signature itself is not checked)" : "");
  return problems == 0 ? 0 : 1;
}

#ifdef _WIN32
constexpr NameRules host_name_rules = NameRules::windows;
#else
constexpr NameRules host_name_rules = NameRules::posix;
#endif

// Writes the files as the stub does: directories are made for the
// separator-separated part of each name; names that would leave the target
// on this system, and links below the target, are refused.
int extract(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2)
    throw UsageError("extract takes an installer and a directory");
  Bytes bytes = load_installer(arguments[0]).bytes;
  packlib::Listing listing = packlib::read_installer(bytes);
  fs::path target(arguments[1]);
  for (const packlib::ListedFile& file : listing.files) {
    if (!is_safe_name(file.name.data(), int32_t(file.name.size()), host_name_rules))
      throw std::runtime_error("refusing unsafe name \"" + file.name + "\"");
    auto content = packlib::inflate_stream(
        std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size));
    if (!content)
      throw std::runtime_error("damaged stream: " + file.name);
    std::string native = file.name;
    std::replace(native.begin(), native.end(), '\\', '/');
    fs::path output = target;
    for (const fs::path& part : fs::path(native)) {
      output /= part;
      if (fs::is_symlink(output))
        throw std::runtime_error(display(output) + ": refusing to write through a link");
    }
    size_t last = file.name.rfind('\\');
    if (last != std::string::npos) {
      std::string directory = file.name.substr(0, last);
      std::replace(directory.begin(), directory.end(), '\\', '/');
      fs::create_directories(target / directory);
    } else {
      fs::create_directories(target);
    }
    // Written to a new file renamed over the old name: a hard link or
    // someone else's file there is replaced, never written into.
    packlib::write_whole_file(output, *content);
    bool program = content->size() >= 2 && (*content)[0] == '#' && (*content)[1] == '!';
    program = program || (content->size() >= 4 && std::memcmp(content->data(),
                                                              "\x7F"
                                                              "ELF",
                                                              4) == 0);
    if (!program)
      fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::others_read);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    std::fputs(usage_text, arguments.empty() ? stderr : stdout);
    return arguments.empty() ? 2 : 0;
  }
  std::string command = arguments[0];
  arguments.erase(arguments.begin());
  try {
    if (command == "create")
      return create(arguments, argv[0]);
    if (command == "list")
      return list(arguments);
    if (command == "verify")
      return verify(arguments);
    if (command == "extract")
      return extract(arguments);
    throw UsageError("unknown command " + command);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "sfxpack: %s\n%s", error.what(), usage_text);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sfxpack: %s\n", error.what());
    return 1;
  }
}
