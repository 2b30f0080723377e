// Fuzzes the restart-list editor on any existing list, through the stub's
// own line file on a scratch directory in memory (/dev/shm where there is
// one). Every line other than the stub's own entry comes back byte for
// byte, in order, each "[rename]" header is followed by exactly one entry,
// and nothing else is added: checked against a model of the list's lines.
// An empty input stands for no list at all. A hash of the input chooses,
// for a third of the inputs, one system call to fail or cut short: the list is then
// either as it was or edited as above, never anything else.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/restart.h"
#include "fuzz/faults.h"
#include "harness/harness.h"
#include "support/os/seam.h"
#include "tools/packlib/file_io.h"

namespace fs = std::filesystem;

namespace {

// How the list's lines are compared, as the system that processes the list
// reads them: as C strings (up to a NUL), letters folded, the byte behind
// a lead byte (0x80 and up) left alone.
std::string folded(const std::string& line) {
  std::string text = line.substr(0, line.find('\0'));
  for (size_t i = 0; i < text.size(); ++i) {
    if ((unsigned char)text[i] >= 0x80)
      ++i;
    else if (text[i] >= 'A' && text[i] <= 'Z')
      text[i] = char(text[i] + 32);
  }
  return text;
}

// The lines as the line file reads them: a line ends at CR, one LF behind
// it belongs to the end, reading stops in front of Ctrl-Z, and at least one
// line is read.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size() && text[i] != '\x1A'; ++i) {
    if (text[i] != '\r') {
      lines.back() += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\n')
      ++i;
    if (i + 1 < text.size() && text[i + 1] != '\x1A')
      lines.emplace_back();
  }
  return lines;
}

struct Scratch {
  fs::path root, state, list;
  std::string directory; // the stub's form of `state`
  harness::Setup setup;
  std::string entry;
  Scratch() {
    std::string base =
        fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/sfx-restart.XXXXXX";
    root = ::mkdtemp(pattern.data());
    state = root / "state";
    fs::create_directories(state);
    directory = harness::stub_path(state);
    list = state / "wininit.ini";
    setup.own_file = root / "dl" / "Setup.exe";
    entry = "NUL=" + harness::stub_path(setup.own_file);
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch s;
  if (size > 4096)
    return 0;
  std::string before(reinterpret_cast<const char*>(data), size);
  std::error_code ignored;
  fs::remove(s.list, ignored);
  fs::remove(s.list.string() + "~", ignored);
  if (size != 0)
    packlib::write_whole_file(s.list, std::span(data, size));
  arm_input_fault(input_hash(data, size), 40); // a third of the inputs
  harness::Outcome outcome =
      harness::run(s.setup, [] { enter_in_restart_list(s.directory.c_str()); });
  bool faulted = seam_fired();
  seam_arm(0, SeamFault::fail);
  if (outcome.ended && !faulted) {
    std::fprintf(stderr, "finding: the editor ended the run: %s\n", outcome.report().c_str());
    std::abort();
  }
  bool exists = fs::exists(s.list);
  std::vector<uint8_t> after_bytes =
      exists ? packlib::read_whole_file(s.list) : std::vector<uint8_t>();
  std::string after(after_bytes.begin(), after_bytes.end());
  std::string expected;
  if (size == 0)
    expected = "[rename]\r\n" + s.entry + "\r\n";
  for (const std::string& line : size == 0 ? std::vector<std::string>() : lines_of(before)) {
    if (folded(line) != folded(s.entry))
      expected += line + "\r\n";
    if (folded(line) == "[rename]")
      expected += s.entry + "\r\n";
  }
  bool as_before = size == 0 ? !exists : exists && after == before;
  // A list being created may stay partly written when its writing fails.
  bool partly_created =
      size == 0 && faulted && exists && expected.compare(0, after.size(), after) == 0;
  if (!(exists && after == expected) && !(faulted && (as_before || partly_created))) {
    std::fprintf(stderr, "finding: the edited list differs from its model\n");
    for (const std::string* text : {&before, &after, &expected}) {
      for (char c : *text)
        std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", (unsigned char)c);
      std::fprintf(stderr, "\n");
    }
    std::abort();
  }
  return 0;
}
