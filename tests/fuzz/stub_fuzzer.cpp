// Fuzzes the whole stub: each input is the stub's own file, run through the
// driver in-process with a private scratch directory as everything it may
// touch. Any crash, sanitizer report or leak is a bug, and so is any file
// that appears outside the scratch target directory.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "harness/harness.h"
#include "package/format.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
  fs::path root;
  fs::path own, target, temp, state, outside;

  Scratch() {
    char pattern[] = "/tmp/sfx-fuzz.XXXXXX";
    root = ::mkdtemp(pattern);
    own = root / "own";
    target = root / "target";
    temp = root / "temp";
    state = root / "state";
    outside = root / "outside";
    for (const fs::path& directory : {own, target, temp, state, outside})
      fs::create_directories(directory);
    ::setenv("TMPDIR", temp.c_str(), 1);
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    ::setenv("PATH", "", 1);
  }
};

Scratch& scratch() {
  static Scratch instance;
  return instance;
}

// The stub may write under the target directory, into the temp directory
// (a joined copy) and the restart list in the state directory; nothing else,
// and nothing through the link "lnk" in the target that leads outside.
void check_nothing_escaped(const Scratch& s) {
  static const std::set<std::string> allowed = {"own", "target", "temp", "state", "outside"};
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
    if (entry.path().filename() != "bundle.exe") {
      std::fprintf(stderr, "written beside the stub: %s\n", entry.path().c_str());
      std::abort();
    }
  for (const auto& entry : fs::directory_iterator(s.temp))
    if (entry.path().filename() != "_TMP_VK.exe") {
      std::fprintf(stderr, "written into the temp directory: %s\n", entry.path().c_str());
      std::abort();
    }
}

// The stub's message for each verdict of the package walk.
const char* walk_message(Verdict verdict) {
  switch (verdict) {
  case Verdict::end_unreachable:
    return "File format error(1)!";
  case Verdict::no_trailer:
    return "File format error(2)!";
  case Verdict::offset_unreachable:
    return "File format error(3)!";
  case Verdict::no_header:
    return "File format error(4)!";
  case Verdict::records_end_elsewhere:
    return "File format error(5)!";
  case Verdict::name_length_rejected:
    return "File Read error(1)!";
  case Verdict::stream_beyond_end:
    return "File Read error(2)!";
  case Verdict::run_length_rejected:
    return "File Read Execution File error(1)!";
  default:
    return "";
  }
}

// The stub and the tool's reader must agree: where the stub ends on a
// verdict of the walk, the tool's walk finds the same; where the stub
// completes, the tool finds a whole package.
void check_agreement(std::span<const uint8_t> input, const harness::Outcome& outcome) {
  int32_t count = 0;
  if (input.size() >= 136 && is_split_set_header(input.data() + layout::split_set_offset, &count))
    return; // a head joins; it reads no package itself
  packlib::Listing listing;
  Verdict tool = packlib::walk_installer(input, &listing);
  std::string stub = outcome.warning();
  bool stub_on_walk = false;
  for (int v = 1; v <= int(Verdict::run_length_rejected); ++v)
    stub_on_walk = stub_on_walk || (!stub.empty() && stub == walk_message(Verdict(v)));
  bool completed = outcome.messages.empty() && outcome.exit_code == 0;
  if ((completed && tool != Verdict::ok) || (stub_on_walk && stub != walk_message(tool))) {
    std::fprintf(stderr, "the stub says \"%s\", the tool's reader \"%s\"\n",
                 completed ? "complete" : stub.c_str(), packlib::verdict_text(tool));
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scratch& s = scratch();
  fs::remove_all(s.target);
  fs::create_directories(s.target);
  fs::create_directory_symlink(s.outside, s.target / "lnk");
  packlib::write_whole_file(s.own / "bundle.exe", std::span(data, size));
  harness::Outcome outcome = harness::run_stub(
      {s.own / "bundle.exe", "\"" + harness::stub_path(s.target) + "\"", harness::Seal::matching});
  check_nothing_escaped(s);
  check_agreement(std::span(data, size), outcome);
  return 0;
}
