// The restart-rename list: how "wininit.ini" is edited, byte for byte, and
// how the line file reads lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cleanup/line_file.h"
#include "cleanup/restart.h"
#include "harness/harness.h"
#include "support/os/paths.h"
#include "support/os/system.h"
#include "support/runtime/termination.h"

namespace {

using harness::TempDir;

// The list in a scratch directory, in the stub's form for the edit.
std::string list_directory;

void edit_list() {
  enter_in_restart_list(list_directory.c_str());
}

class RestartList : public testing::Test {
protected:
  void SetUp() override {
    list_directory = harness::stub_path(directory_.path());
    list_ = directory_.path() / "wininit.ini";
    scratch_ = list_;
    scratch_ += "~";
    std::filesystem::remove(list_);
    std::filesystem::remove(scratch_);
    setup_.own_file = stub_.path() / "dl" / "Bundle.exe";
    entry_ = "NUL=" + harness::stub_path(setup_.own_file);
  }
  void TearDown() override {
    std::filesystem::remove(list_);
    std::filesystem::remove(scratch_);
  }

  // Edits the list (written first when `before` is given) and answers it.
  std::string edit(const std::string* before) {
    if (before)
      harness::write_text(list_, *before);
    harness::Outcome outcome = harness::run(setup_, edit_list);
    EXPECT_FALSE(outcome.ended) << outcome.report();
    return harness::read_text(list_);
  }
  std::string edit(const std::string& before) { return edit(&before); }

  TempDir directory_;
  TempDir stub_;
  harness::Setup setup_;
  std::filesystem::path list_, scratch_;
  std::string entry_;
};

TEST_F(RestartList, CreatedWhenMissing) {
  EXPECT_EQ(edit(nullptr), "[rename]\r\n" + entry_ + "\r\n");
}

TEST_F(RestartList, EntryGoesBehindEveryHeaderOnce) {
  EXPECT_EQ(edit("[Rename]\r\nNUL=C:\\old.exe\r\n"),
            "[Rename]\r\n" + entry_ + "\r\nNUL=C:\\old.exe\r\n");
  // An entry already present, in another case, is dropped wherever it is.
  std::string shouted = entry_;
  for (char& c : shouted)
    c = char(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(edit("[boot]\r\n" + shouted + "\r\n[rename]\r\nx=y\r\n"),
            "[boot]\r\n[rename]\r\n" + entry_ + "\r\nx=y\r\n");
  EXPECT_EQ(edit("[rename]\r\n[RENAME]\r\n"),
            "[rename]\r\n" + entry_ + "\r\n[RENAME]\r\n" + entry_ + "\r\n");
}

TEST_F(RestartList, ListsWithoutAHeaderGetNoEntry) {
  EXPECT_EQ(edit("[boot]\r\na=b\r\n"), "[boot]\r\na=b\r\n");
  // A header followed by a blank is no header.
  EXPECT_EQ(edit("[rename] \r\n"), "[rename] \r\n");
  // Short lines pass unexamined.
  EXPECT_EQ(edit("ab\r\n[x]\r\n"), "ab\r\n[x]\r\n");
}

TEST_F(RestartList, LineEnds) {
  // An empty list becomes one empty line.
  EXPECT_EQ(edit(""), "\r\n");
  // LF alone ends no line: all of it is one line, and no header is seen.
  EXPECT_EQ(edit("[rename]\nNUL=x\n"), "[rename]\nNUL=x\n\r\n");
  // A last line without a line end gets one; a final CR LF adds no line.
  EXPECT_EQ(edit("[boot]\r\nlast"), "[boot]\r\nlast\r\n");
  EXPECT_EQ(edit("[boot]\r\n"), "[boot]\r\n");
  // CR alone ends a line, and one LF behind a CR belongs to it.
  EXPECT_EQ(edit("[boot]\rx=1\r\n\nq"), "[boot]\r\nx=1\r\n\nq\r\n");
}

TEST_F(RestartList, CtrlZEndsTheList) {
  EXPECT_EQ(edit("[rename]\r\nabcd\x1A"
                 "efgh\r\nmore\r\n"),
            "[rename]\r\n" + entry_ + "\r\nabcd\r\n");
}

TEST_F(RestartList, LongLinesAreCopiedWhole) {
  std::string long_line(1000, 'x');
  long_line += "=y";
  EXPECT_EQ(edit("[rename]\r\n" + long_line + "\r\n"),
            "[rename]\r\n" + entry_ + "\r\n" + long_line + "\r\n");
}

TEST_F(RestartList, LeftoverScratchFileIsRewritten) {
  harness::write_text(scratch_, std::string(5000, 'z'));
  EXPECT_EQ(edit("[rename]\r\n"), "[rename]\r\n" + entry_ + "\r\n");
  EXPECT_FALSE(std::filesystem::exists(scratch_));
}

TEST_F(RestartList, ScratchFileThatCannotBeCreated) {
  // A directory where the scratch file would go: creating it fails, for
  // lack of access on Windows. NT never reads the list, so there the edit
  // is skipped; elsewhere the failure ends the run.
  harness::write_text(list_, "[rename]\r\n");
  std::filesystem::create_directory(scratch_);
  harness::Outcome outcome = harness::run(setup_, edit_list);
  std::filesystem::remove(scratch_);
  if (system_is_nt()) {
    EXPECT_TRUE(outcome.messages.empty()) << outcome.report();
    EXPECT_EQ(outcome.exit_code, 0);
  } else {
    EXPECT_TRUE(outcome.ended);
    EXPECT_NE(outcome.exit_code, 0);
    EXPECT_EQ(outcome.report().substr(0, 13), "Runtime error");
  }
  EXPECT_EQ(harness::read_text(list_), "[rename]\r\n"); // untouched
}

TEST(LineFile, MissingFileRecordsTheSystemCode) {
  harness::Outcome outcome = harness::run(harness::Setup{}, [] {
    LineFile file;
    line_open_read(file, "no such directory\\no such file");
    io_check();
  });
  EXPECT_TRUE(outcome.ended);
  EXPECT_GT(outcome.exit_code, 0);
}

} // namespace
