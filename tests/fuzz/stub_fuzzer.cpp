// Fuzzes the whole stub: each input is the stub's own file, run through the
// driver in-process with a private scratch directory as everything it may
// touch. Any crash, sanitizer report or leak is a bug, and so is any file
// that appears outside the scratch target directory. A hash of the input
// also chooses, for most inputs, one system call to fail or cut short, so
// that the stub's answers to a failing system are fuzzed too.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "extract/extract.h"
#include "fuzz/faults.h"
#include "harness/harness.h"
#include "package/format.h"
#include "support/os/seam.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
  fs::path root;
  fs::path own, target, temp, outside, current;

  Scratch() {
    char pattern[] = "/tmp/sfx-fuzz.XXXXXX";
    root = ::mkdtemp(pattern);
    own = root / "own";
    target = root / "target";
    temp = root / "temp";
    outside = root / "outside";
    current = root / "current";
    for (const fs::path& directory : {own, target, temp, outside, current})
      fs::create_directories(directory);
    ::setenv("TMPDIR", temp.c_str(), 1);
    ::setenv("PATH", "", 1);
  }
};

Scratch& scratch() {
  static Scratch instance;
  return instance;
}

// The stub may write under the target directory, into the temp directory
// (a joined copy, a private target of its own); nothing else, and nothing
// through the link "lnk" in the target that leads outside.
void check_nothing_escaped(const Scratch& s) {
  static const std::set<std::string> allowed = {"own", "target", "temp", "outside", "current"};
  if (!fs::is_empty(s.outside)) {
    std::fprintf(stderr, "written through a link in the target\n");
    std::abort();
  }
  for (const auto& entry : fs::directory_iterator(s.root))
    if (!allowed.count(entry.path().filename().string())) {
      std::fprintf(stderr, "written outside the target: %s\n", entry.path().c_str());
      std::abort();
    }
  for (const auto& entry : fs::directory_iterator(s.own))
    if (entry.path().filename().string().rfind("bundle.", 0) != 0) {
      std::fprintf(stderr, "written beside the stub: %s\n", entry.path().c_str());
      std::abort();
    }
  for (const auto& entry : fs::directory_iterator(s.temp))
    if (entry.path().filename() != "_TMP_VK.exe" &&
        !(entry.is_directory() && entry.path().filename().string().rfind("sfx", 0) == 0)) {
      std::fprintf(stderr, "written into the temp directory: %s\n", entry.path().c_str());
      std::abort();
    }
}

// Verdicts that the package alone decides; the others depend on the disk
// (the link in the target, a file that cannot be written) or the target's
// path (a command too long once it is put in).
bool decided_by_the_package(Verdict verdict) {
  return verdict != Verdict::ok && verdict != Verdict::name_unsafe &&
         verdict != Verdict::command_too_long && warning_entry(verdict).by_package;
}

// What sfxpack verify finds: the stub's engine over memory, writing nothing.
Verdict tool_verdict(std::span<const uint8_t> input) {
  packlib::InstallerSource in(input);
  RecordReader reader;
  reader.extractor.source = in.source;
  reader.writes = false;
  reader.name_is_safe = is_safe_posix_name;
  PackageLocation location;
  char command[setup_command_size];
  Verdict verdict = read_package(reader, &location, command);
  release_inflater(reader.extractor.inflater);
  return verdict;
}

std::string message_of(Verdict verdict) {
  char text[verdict_message_size];
  verdict_message(verdict, text);
  return text;
}

// The stub and the tool must agree, by one table of verdicts: where the
// stub completes, the tool finds nothing wrong in the package; where the
// stub ends on a verdict the package alone decides, the tool ends on it
// too. The tool inflates every stream with the stub's own loop.
void check_agreement(std::span<const uint8_t> input, const harness::Outcome& outcome) {
  int32_t count = 0;
  if (input.size() >= 136 && is_split_set_header(input.data() + layout::split_set_offset, &count))
    return; // a head joins; it reads no package itself
  Verdict tool = tool_verdict(input);
  std::string stub = outcome.warning();
  stub = stub.substr(0, stub.find('\n')); // the fixed text, without its advice
  bool completed = outcome.messages.empty() && outcome.exit_code == 0;
  bool stub_decided = false;
  for (int v = 1; v < int(Verdict::content_too_large); ++v)
    stub_decided =
        stub_decided || (decided_by_the_package(Verdict(v)) && stub == message_of(Verdict(v)));
  bool differ = (completed && tool != Verdict::ok) || (stub_decided && stub != message_of(tool));
  if (differ) {
    std::fprintf(stderr, "the stub says \"%s\", the tool \"%s\"\n",
                 completed ? "complete" : stub.c_str(), packlib::verdict_line(tool).c_str());
    std::abort();
  }
}

// A head's volumes, when the input is one of two to four files: slices of
// the input behind its split-set header, so that joining meets real files.
void write_volumes(const Scratch& s, std::span<const uint8_t> input) {
  int32_t count = 0;
  if (input.size() < 136 || !is_split_set_header(input.data() + layout::split_set_offset, &count) ||
      count < 2 || count > 4)
    return;
  std::span<const uint8_t> rest = input.subspan(136);
  size_t slice = rest.size() / size_t(count - 1);
  for (int32_t i = 1; i < count; ++i) {
    char extension[5];
    volume_extension(i, extension);
    packlib::write_whole_file(s.own / ("bundle" + std::string(extension)),
                              rest.subspan(size_t(i - 1) * slice, slice));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scratch& s = scratch();
  uint32_t hash = input_hash(data, size);
  for (const fs::path& directory : {s.own, s.temp, s.target, s.current}) {
    fs::remove_all(directory);
    fs::create_directories(directory);
  }
  fs::create_directory_symlink(s.outside, s.target / "lnk");
  packlib::write_whole_file(s.own / "bundle.exe", std::span(data, size));
  write_volumes(s, std::span(data, size));
  // Each input runs in a current directory of its own; the fuzzer's own
  // is back before it reads its next input by a relative path.
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(s.current);
  // The target as given, one to be created, none (a private one in temp),
  // or the target with an option behind it, which only a package reading
  // options takes as one (a check that writes nothing).
  std::string arguments = "\"" + harness::stub_path(s.target) + "\"";
  uint32_t place = (hash >> 20) % 4;
  if (place == 1)
    arguments = "\"" + harness::stub_path(s.target / "new" / "deeper") + "\"";
  else if (place == 2)
    arguments = "";
  else if (place == 3)
    arguments += " --check";
  arm_input_fault(hash, 80); // two thirds of the inputs
  harness::Outcome outcome =
      harness::run_stub({s.own / "bundle.exe", arguments, harness::Seal::matching});
  bool faulted = seam_fired();
  seam_arm(0, SeamFault::fail);
  fs::current_path(before, ignored);
  check_nothing_escaped(s);
  // Only without a target and without a temp directory (a failed query)
  // does the stub write into the current directory.
  if (!(place == 2 && faulted) && !fs::is_empty(s.current)) {
    std::fprintf(stderr, "written into the current directory\n");
    std::abort();
  }
  // A failed system call decides the outcome then, not the package.
  if (!faulted)
    check_agreement(std::span(data, size), outcome);
  return 0;
}
