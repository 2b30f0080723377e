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
#include "tools/packlib/file_io.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scratch& s = scratch();
  fs::remove_all(s.target);
  fs::create_directories(s.target);
  fs::create_directory_symlink(s.outside, s.target / "lnk");
  packlib::write_whole_file(s.own / "bundle.exe", std::span(data, size));
  harness::run_stub(
      {s.own / "bundle.exe", "\"" + harness::stub_path(s.target) + "\"", harness::Seal::matching});
  check_nothing_escaped(s);
  return 0;
}
