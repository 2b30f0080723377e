// sfxpack create: packs files behind a stub, as one installer or a split
// set. The work itself is packlib's (compress.h, installer.h); here the
// command line becomes a plan, and the plan a run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/pe_image.h"
#include "support/base/c_string.h"
#include "tools/packlib/compress.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/installer.h"
#include "tools/packlib/package.h"
#include "tools/packlib/pending.h"
#include "tools/packlib/printable.h"
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
  std::fprintf(stderr, "sfxpack: warning: %s\n", packlib::printable(text, true).c_str());
}

// The stub of a target, found from the tool's own place: installed
// (PREFIX/bin/sfxpack and PREFIX/lib/sfxstub/stub-TARGET), unpacked beside
// the tool (stub-TARGET), or in the build tree (build/posix/bin/sfxpack and
// build/TARGET/bin/stub).
fs::path default_stub(const std::string& target, const char* program) {
  fs::path directory = packlib::own_executable(program).parent_path();
  std::string installed = "stub-" + target + (target == "posix" ? "" : ".exe");
  std::string built = target == "posix" ? "stub" : "stub.exe";
  std::vector<fs::path> candidates = {
      directory / ".." / "lib" / "sfxstub" / installed,
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

// A setup command whose program is not among the stored files, and one in
// which "%path%" ends right before a quote, are most likely mistakes.
void check_run_command(const std::string& command, const std::vector<Input>& inputs,
                       bool windows_target, Findings& findings) {
  // The stub reads either separator in the program's path.
  std::string text = command;
  std::replace(text.begin(), text.end(), '/', '\\');
  bool found = std::any_of(inputs.begin(), inputs.end(), [&](const Input& input) {
    return text.rfind(input.name, 0) == 0 &&
           (text.size() == input.name.size() || text[input.name.size()] == ' ');
  });
  if (!found && !command.empty())
    findings.warn(
        "the setup command \"" + command +
        "\" does not start with a stored file; the stub runs it from the target directory");
  if (windows_target && command.find("%path%\"") != std::string::npos)
    findings.warn("\"%path%\" ends in a backslash, and Windows programs read \\\" as a quote: "
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

// What the command line asks for.
struct Request {
  std::string output;
  std::string target;
  bool target_given = false; // --target named, not taken by default
  std::optional<std::string> run_command;
  int level = 6;
  std::optional<uint64_t> split;
  bool quiet = false;
  bool wait = false;
  bool options = true; // the installer reads options from its command line
  bool checksum = true;
  bool strict = false;             // warnings refuse
  bool exact_sizes = false;        // sizes in bytes, not for people
  std::optional<std::string> sums; // --sums FILE: the digests as sha256sum writes them
  std::optional<std::string> stub;
  InputRules rules;
  std::vector<std::string> operands;
};

Request parse(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments(
      "create", words,
      {"--output", "--stub", "--target", "--run", "--level", "--split", "--exclude", "--sums"},
      {"--quiet", "--dereference", "--wait", "--no-checksum", "--no-options", "--strict",
       "--bytes"});
  Request request;
  request.output = arguments.value("--output");
  request.target = arguments.value("--target", "win32");
  request.target_given = arguments.has("--target");
  if (arguments.has("--run"))
    request.run_command = arguments.value("--run");
  if (arguments.has("--level")) {
    std::string text = arguments.value("--level");
    request.level = text.size() >= 1 && text.size() <= 2 &&
                            text.find_first_not_of("0123456789") == std::string::npos
                        ? std::stoi(text)
                        : -1;
    if (request.level < 0 || request.level > 12)
      throw UsageError("create", "--level takes 0 to 12");
  }
  if (arguments.has("--split"))
    request.split = parse_size(arguments.value("--split"));
  if (arguments.has("--stub"))
    request.stub = arguments.value("--stub");
  request.quiet = arguments.has("--quiet");
  request.wait = arguments.has("--wait");
  request.options = !arguments.has("--no-options");
  request.checksum = !arguments.has("--no-checksum");
  request.strict = arguments.has("--strict");
  request.exact_sizes = arguments.has("--bytes");
  if (arguments.has("--sums"))
    request.sums = arguments.value("--sums");
  request.rules.dereference = arguments.has("--dereference");
  if (arguments.has("--exclude"))
    request.rules.excluded = arguments.options["--exclude"];
  request.operands = arguments.operands;
  if (request.output.empty())
    throw UsageError("create", "create needs -o OUT");
  if (request.operands.empty())
    throw UsageError("create", "create needs the files or directories to pack");
  if (request.target != "win32" && request.target != "win64" && request.target != "posix")
    throw UsageError("create", "--target is win32, win64 or posix");
  return request;
}

// The request checked against the stub and the inputs, before anything is
// compressed.
struct Plan {
  Bytes stub;
  std::string head_text; // the output's absolute path
  std::vector<packlib::SourceFile> inputs;
};

// The output, when it already exists as one of the files to pack.
const Input* output_among_inputs(const fs::path& output, const std::vector<Input>& inputs) {
  std::error_code error;
  if (!fs::exists(output, error))
    return nullptr;
  for (const Input& input : inputs)
    if (fs::equivalent(input.path, output, error))
      return &input;
  return nullptr;
}

Plan plan(Request& request, const char* program) {
  Findings findings;
  if (request.run_command && request.run_command->size() > layout::largest_length)
    findings.refuse("setup command longer than 254 bytes");
  fs::path output = packlib::utf8_path(request.output);
  for (const std::optional<std::string>& written : {std::optional(request.output), request.sums}) {
    std::error_code error;
    fs::path directory = written ? fs::absolute(packlib::utf8_path(*written)).parent_path() : "";
    if (written && !fs::is_directory(directory, error))
      findings.refuse(*written + ": no directory " + display(directory) + " to write it into");
  }
  bool inside = inside_inputs(output, request.operands);
  if (inside)
    findings.refuse(request.output + ": the output lies inside a directory being packed");
  fs::path stub_file =
      request.stub ? packlib::utf8_path(*request.stub) : default_stub(request.target, program);
  Plan plan{packlib::read_whole_file(stub_file), {}, {}};
  packlib::SealState seal = packlib::check_seal(plan.stub);
  if (!seal.sealed || !seal.intact || seal.length != plan.stub.size()) {
    // Without a stub the inputs cannot be checked: say what is known.
    findings.refuse(display(stub_file) + ": not a sealed stub");
    settle(findings, request.strict);
  }
  // A stub of another kind than the target named would write an
  // installer for another system under the name asked for.
  bool elf = packlib::is_elf_image(plan.stub);
  if (request.stub && request.target_given && elf != (request.target == "posix"))
    findings.refuse(display(stub_file) + ": " + (elf ? "an ELF stub" : "a Windows stub") +
                    ", not one for --target " + request.target +
                    "; give that target's stub or leave --stub out");
  if (request.split && elf)
    findings.refuse(display(stub_file) +
                    ": an ELF stub cannot be the head of a split set (its program headers "
                    "occupy the split-set header's bytes)");
  // The stub finds its volumes by replacing the extension of its own full
  // path: a head without one in its file name would look elsewhere.
  fs::path head = fs::absolute(output);
  plan.head_text = packlib::utf8_text(head);
  size_t name_start = plan.head_text.size() - packlib::utf8_text(head.filename()).size();
  if (request.split && size_t(extension_position(plan.head_text.c_str(),
                                                 int32_t(plan.head_text.size()))) <= name_start)
    findings.refuse(request.output + ": a head needs an extension, such as setup.exe: the stub "
                                     "names its volumes by replacing it");
  if (request.split && plan.stub.size() > *request.split)
    findings.warn("the head holds the whole stub (" + std::to_string(plan.stub.size()) +
                  " bytes), more than the split size " + std::to_string(*request.split));
  request.rules.windows_target = packlib::is_pe_image(plan.stub);
  plan.inputs = gather_inputs(request.operands, request.rules, findings);
  if (const Input* same = inside ? nullptr : output_among_inputs(output, plan.inputs))
    findings.refuse(request.output + ": the output is one of the files to pack (" +
                    display(same->path) + "); write it elsewhere");
  if (request.run_command && request.run_command->size() <= layout::largest_length)
    check_run_command(*request.run_command, plan.inputs, request.rules.windows_target, findings);
  settle(findings, request.strict);
  return plan;
}

uintmax_t input_bytes(const std::vector<packlib::SourceFile>& inputs) {
  uintmax_t total = 0;
  for (const packlib::SourceFile& input : inputs) {
    std::error_code ignored;
    total += fs::file_size(input.path, ignored);
  }
  return total;
}

// Names and the command are stored in UTF-8; a package that holds any byte
// outside ASCII says so, and one that holds none stays as it was.
uint8_t package_options(const Request& request, const std::vector<packlib::Stream>& streams) {
  auto outside_ascii = [](const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (unsigned char)c >= 0x80; });
  };
  bool utf8 = (request.run_command && outside_ascii(*request.run_command)) ||
              std::any_of(streams.begin(), streams.end(), [&](const packlib::Stream& stream) {
                return outside_ascii(stream.name);
              });
  return uint8_t((utf8 ? layout::option_utf8 : 0) | (request.wait ? layout::option_wait : 0) |
                 (request.options ? layout::option_command_line : 0) |
                 (request.checksum ? layout::option_checksum | layout::option_checksum_header : 0));
}

// One line for people, then the SHA-256 of each file written, to publish
// beside the installer.
void print_summary(const Request& request, const Plan& plan,
                   const std::vector<packlib::Stream>& streams, size_t installer_size,
                   const std::vector<fs::path>& pieces, const std::vector<std::string>& digests) {
  uintmax_t in = input_bytes(plan.inputs);
  uintmax_t compressed = 0;
  for (const packlib::Stream& stream : streams)
    compressed += stream.size;
  std::printf("%s: %s, %s in, %s out (the files compressed to %.1f%%)", request.output.c_str(),
              counted(streams.size(), "file").c_str(), size_text(in, request.exact_sizes).c_str(),
              size_text(installer_size, request.exact_sizes).c_str(),
              in ? 100.0 * double(compressed) / double(in) : 100.0);
  if (request.split)
    std::printf(", a head and %s", counted(pieces.size() - 1, "volume").c_str());
  std::printf("\n");
  for (size_t i = 0; i < pieces.size(); ++i)
    std::printf(
        "  SHA-256 %s  %s\n", digests[i].c_str(),
        packlib::printable(i == 0 ? request.output : packlib::volume_name(request.output, int(i)))
            .c_str());
}

// The digests as `sha256sum` writes them, each piece by its file name: a
// set lies in one directory, so the list checks it wherever it is moved
// (`sha256sum -c` beside it). A name with a backslash or a newline is
// escaped the way `sha256sum` escapes it.
void write_sums(const std::string& file, const std::vector<fs::path>& pieces,
                const std::vector<std::string>& digests) {
  std::string text;
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string name = packlib::utf8_text(pieces[i].filename()), escaped;
    for (char c : name)
      escaped += c == '\\'   ? std::string("\\\\")
                 : c == '\n' ? std::string("\\n")
                             : std::string(1, c);
    text += (escaped == name ? "" : "\\") + digests[i] + "  " + escaped + "\n";
  }
  packlib::write_whole_file(packlib::utf8_path(file),
                            std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                            false);
}

int run(const Request& request, Plan& plan) {
  packlib::remove_pending_on_signals();
  packlib::Spool spool(packlib::utf8_path(request.output));
  Progress progress(input_bytes(plan.inputs), !request.quiet && packlib::stderr_is_terminal());
  std::vector<packlib::Stream> streams = packlib::compress_inputs(
      plan.inputs, request.level, spool, [&](uint64_t bytes) { progress.add(bytes); });
  size_t size = packlib::installer_size(plan.stub.size(), streams, request.run_command).total;
  if (size > layout::largest_compressed_size)
    throw std::runtime_error("installer larger than 2 GiB - 1");
  std::vector<fs::path> pieces = {packlib::utf8_path(request.output)};
  std::vector<size_t> piece_sizes = {size};
  if (request.split) {
    piece_sizes = packlib::split_piece_sizes(size, plan.stub.size(), size_t(*request.split));
    store_split_set_header(plan.stub.data() + layout::split_set_offset,
                           int32_t(piece_sizes.size()));
    for (size_t i = 1; i < piece_sizes.size(); ++i)
      pieces.push_back(packlib::utf8_path(packlib::volume_name(plan.head_text, int(i))));
  }
  packlib::InstallerWriter writer(pieces, piece_sizes);
  PeFields fields = pe_fields(plan.stub.data(), uint32_t(plan.stub.size()));
  if (fields.valid)
    writer.keep_pe_checksum(fields.checksum);
  packlib::write_installer(plan.stub, streams, request.run_command,
                           package_options(request, streams),
                           [&](const uint8_t* bytes, size_t count) { writer.write(bytes, count); });
  writer.finish();
  // Volumes of an earlier, longer set would only confuse.
  for (int i = int(pieces.size()); request.split && i < layout::largest_volume_count; ++i) {
    fs::path stale = packlib::utf8_path(packlib::volume_name(plan.head_text, i));
    std::error_code ignored;
    if (fs::remove(stale, ignored) && !request.quiet)
      warn("removed " + display(stale) + ", a volume of an earlier, longer set");
  }
  if (request.sums)
    write_sums(*request.sums, pieces, writer.digests());
  if (!request.quiet)
    print_summary(request, plan, streams, size, pieces, writer.digests());
  return 0;
}

} // namespace

int create(const std::vector<std::string>& words, const char* program) {
  Request request = parse(words);
  Plan checked = plan(request, program);
  return run(request, checked);
}

} // namespace sfxpack
