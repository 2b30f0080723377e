// The stub driver run in-process on crafted files: locating and validating
// the package, extracting records, reading the run record, and head mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif

#include "harness/harness.h"
#include "package/format.h"
#include "package/layout.h"
#include "support/base/bytes.h"
#include "support/inflate/crc32.h"
#include "support/inflate/inflate_stream.h"
#include "support/os/paths.h"
#include "support/os/seam.h"
#include "support/os/system.h"
#include "support/platform/host.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace {

namespace fs = std::filesystem;
using harness::Outcome;
using packlib::Bytes;
using packlib::PackageBuilder;

Bytes text_bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

class Driver : public testing::Test {
protected:
  void SetUp() override {
    harness::use_directories(temp_.path());
    fs::create_directories(work_ / "out");
  }

  // A stand-in for the stub's bytes; the harness seals whatever file it runs.
  static Bytes stub() { return Bytes(300, 0); }

  PackageBuilder package() {
    PackageBuilder builder(stub());
    builder.header();
    return builder;
  }

  Outcome run(const Bytes& file, const std::string& arguments) {
    packlib::write_whole_file(own_, file);
    return harness::run_stub({own_, arguments, harness::Seal::matching});
  }

  // Runs with the target directory `out` as the argument.
  Outcome run(const Bytes& file) { return run(file, "\"" + harness::stub_path(out()) + "\""); }

  fs::path out() const { return work_ / "out"; }

  harness::TempDir temp_, work_;
  fs::path own_ = work_ / "bundle.exe";
};

TEST_F(Driver, LocatingThePackage) {
  EXPECT_EQ(run(stub()).warning(), "File format error(2)!");
  EXPECT_EQ(run(Bytes{1, 2, 3, 4, 5}).warning(), "File format error(1)!");

  PackageBuilder offset_too_large(stub());
  offset_too_large.header().u32(layout::trailer_marker).u32(0x80000000);
  EXPECT_EQ(run(offset_too_large.bytes()).warning(), "File format error(3)!");

  PackageBuilder offset_at_end(stub());
  offset_at_end.header().u32(layout::trailer_marker).u32(300 + 16 + 8);
  EXPECT_EQ(run(offset_at_end.bytes()).warning(), "File format error(4)!");

  PackageBuilder wrong_case(stub());
  wrong_case.raw(std::string("VKZIP")).raw(Bytes(11, 0)).trailer();
  EXPECT_EQ(run(wrong_case.bytes()).warning(), "File format error(4)!");

  PackageBuilder no_nul(stub());
  no_nul.raw(std::string("VKZip!")).raw(Bytes(10, 0)).trailer();
  EXPECT_EQ(run(no_nul.bytes()).warning(), "File format error(4)!");

  PackageBuilder garbage(stub());
  garbage.raw(std::string("VKZip")).u8(0).raw(std::string("0123456789")).trailer();
  Outcome accepted = run(garbage.bytes());
  EXPECT_TRUE(accepted.messages.empty()) << accepted.report();
  EXPECT_EQ(accepted.exit_code, 0);
}

// In a signed file zero bytes of alignment stand between trailer and
// certificate table; a package offset whose low byte is 0x77 makes a false
// trailer candidate among them, which points at no header.
TEST_F(Driver, FalseTrailerCandidateInASignedFile) {
  Bytes pe(0x277, 0); // the package offset's low byte is 0x77
  pe[0] = 'M', pe[1] = 'Z', pe[60] = 0x00, pe[61] = 0x01;
  std::copy_n("PE\0\0", 4, pe.begin() + 0x100);
  pe[0x118] = 0x0B, pe[0x119] = 0x01; // PE32
  PackageBuilder builder(pe);
  builder.header().record("a.txt", packlib::deflate_stream(text_bytes("a"))).trailer();
  Bytes file = builder.bytes();
  ASSERT_NE(file.size() % 8, 0u);
  while (file.size() % 8 != 0)
    file.push_back(0);
  uint32_t table = uint32_t(file.size());
  file.insert(file.end(), 16, 0xCC);
  store_u32(&file[0x118 + 96 + 4 * 8], table);
  store_u32(&file[0x118 + 96 + 4 * 8 + 4], 16);
  Outcome outcome = run(file);
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  EXPECT_EQ(harness::read_text(out() / "a.txt"), "a");
}

TEST_F(Driver, OwnFileThatCannotBeOpened) {
  Outcome outcome = harness::run_stub({work_ / "missing.exe", "", harness::Seal::unsealed});
  EXPECT_EQ(outcome.warning(), "File format error(1)!");
  EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(Driver, UnsealedStubExtractsNothing) {
  PackageBuilder builder = package();
  builder.record("a.txt", packlib::deflate_stream(text_bytes("abc"))).trailer();
  packlib::write_whole_file(own_, builder.bytes());
  Outcome outcome =
      harness::run_stub({own_, "\"" + harness::stub_path(out()) + "\"", harness::Seal::unsealed});
  EXPECT_EQ(outcome.warning(), "File check error(1)!");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_FALSE(fs::exists(out() / "a.txt"));
}

TEST_F(Driver, EmptyPackageCompletes) {
  PackageBuilder builder = package();
  builder.trailer();
  Outcome outcome = run(builder.bytes());
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_TRUE(outcome.messages.empty());
  EXPECT_TRUE(fs::is_empty(out()));
}

TEST_F(Driver, TargetDirectoryChoice) {
  PackageBuilder builder = package();
  builder.record("app\\f.txt", packlib::deflate_stream(text_bytes("x"))).trailer();
  // No argument: a new directory of the run's own in the temp directory,
  // never one that someone prepared there.
  fs::create_directories(temp_.path() / "app");
  std::set<fs::path> made;
  for (int run_number = 0; run_number < 2; ++run_number) {
    EXPECT_TRUE(run(builder.bytes(), "").messages.empty());
    for (const auto& entry : fs::directory_iterator(temp_.path()))
      if (entry.path().filename() != "app")
        made.insert(entry.path());
  }
  ASSERT_EQ(made.size(), 2u);
  for (const fs::path& directory : made) {
    EXPECT_EQ(harness::read_text(directory / "app" / "f.txt"), "x");
#ifndef _WIN32
    EXPECT_EQ(fs::status(directory).permissions(), fs::perms::owner_all);
#endif
  }
  EXPECT_TRUE(fs::is_empty(temp_.path() / "app"));
  // With and without a trailing backslash; a second argument has no effect.
  EXPECT_TRUE(run(builder.bytes(), "\"" + harness::stub_path(work_ / "t1") + "\\\" other")
                  .messages.empty());
  EXPECT_TRUE(fs::exists(work_ / "t1" / "app" / "f.txt"));
  EXPECT_TRUE(
      run(builder.bytes(), "\"" + harness::stub_path(work_ / "t2") + "\"").messages.empty());
  EXPECT_TRUE(fs::exists(work_ / "t2" / "app" / "f.txt"));
}

TEST_F(Driver, TempDirectoryTooLongForItsBuffer) {
  // The temp directory does not fit its 256-byte buffer: with no argument
  // the current directory is the target, never an empty one.
  harness::use_directories(work_ / std::string(300, 't'));
  fs::create_directories(work_ / "current");
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(work_ / "current");
  PackageBuilder builder = package();
  builder.record("f.txt", packlib::deflate_stream(text_bytes("x"))).trailer();
  Outcome outcome = run(builder.bytes(), "");
  // A head joins its set in the temp directory alone, never in the current
  // directory or at the root of a drive.
  Bytes head = builder.bytes();
  store_split_set_header(&head[layout::split_set_offset], 2);
  packlib::write_whole_file(work_ / "bundle.F01", Bytes(10, 0));
  Outcome joined = run(head, "");
  fs::current_path(before);
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  EXPECT_EQ(harness::read_text(work_ / "current" / "f.txt"), "x");
  EXPECT_EQ(joined.warning(), "Combine error!!");
  EXPECT_TRUE(fs::exists(work_ / "bundle.F01"));
  EXPECT_FALSE(fs::exists(work_ / "current" / "_TMP_VK.exe"));
  EXPECT_FALSE(fs::exists(fs::path(work_.path().root_path()) / "_TMP_VK.exe"));
}

#ifndef _WIN32
// A relative temp directory is made absolute first: the private target and
// the launch after the change into it name the same place.
TEST_F(Driver, RelativeTempDirectoryIsMadeAbsolute) {
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(work_.path());
  fs::create_directories(work_ / "relt");
  setenv("TMPDIR", "relt", 1);
  PackageBuilder builder = package();
  builder.record("go.sh", packlib::deflate_stream(text_bytes("#!/bin/sh\nexit 7\n")))
      .run("go.sh")
      .trailer()
      .options(layout::option_wait);
  Outcome outcome = run(builder.bytes(), "");
  fs::current_path(before);
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  EXPECT_EQ(outcome.exit_code, 7);
  EXPECT_EQ(std::distance(fs::directory_iterator(work_ / "relt"), fs::directory_iterator()), 1);
}
#endif

TEST_F(Driver, ExtractsRecordsInOrder) {
  PackageBuilder builder = package();
  builder.record("dir\\sub\\file.txt", packlib::deflate_stream(text_bytes("deep")))
      .record("same.txt", packlib::deflate_stream(text_bytes("first")))
      .record("same.txt", packlib::deflate_stream(text_bytes("second")))
      .record("empty.txt", packlib::deflate_stream(Bytes{}))
      .trailer();
  harness::write_text(out() / "empty.txt", "old content");
  Outcome outcome = run(builder.bytes(), "\"" + harness::stub_path(out() / "new" / "x") + "\"");
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  fs::path target = out() / "new" / "x";
  EXPECT_EQ(harness::read_text(target / "dir" / "sub" / "file.txt"), "deep");
  EXPECT_EQ(harness::read_text(target / "same.txt"), "second");
  EXPECT_TRUE(fs::exists(target / "empty.txt"));
  EXPECT_EQ(fs::file_size(target / "empty.txt"), 0u);

  // An existing file is replaced, also by empty content.
  PackageBuilder replace = package();
  replace.record("empty.txt", packlib::deflate_stream(Bytes{})).trailer();
  EXPECT_TRUE(run(replace.bytes()).messages.empty());
  EXPECT_EQ(fs::file_size(out() / "empty.txt"), 0u);
}

TEST_F(Driver, ForwardSlashesCreateNoDirectories) {
  PackageBuilder builder = package();
  builder.record("a/b.txt", packlib::deflate_stream(text_bytes("x"))).trailer();
  EXPECT_EQ(run(builder.bytes()).warning(), "File Output error(1)!");
  fs::create_directory(out() / "a");
  EXPECT_TRUE(run(builder.bytes()).messages.empty());
  EXPECT_EQ(harness::read_text(out() / "a" / "b.txt"), "x");
}

TEST_F(Driver, DamagedRecords) {
  Bytes good = packlib::deflate_stream(text_bytes("content"));
  struct Case {
    const char* what;
    Bytes file;
    const char* message;
  };
  std::vector<Case> cases;
  {
    PackageBuilder b = package();
    b.u32(layout::record_marker).u8(255);
    cases.push_back({"name length 255", b.trailer().bytes(), "File Read error(1)!"});
  }
  {
    // The stream's size counts more bytes than the file has left.
    PackageBuilder b = package();
    b.u32(layout::record_marker).u8(6).raw(std::string("a.txt")).u8(0);
    b.u32(uint32_t(good.size() + 20)).raw(good);
    cases.push_back({"stream cut short", b.trailer().bytes(), "File Read error(2)!"});
  }
  {
    PackageBuilder b = package();
    b.u32(layout::record_marker).u8(6).raw(std::string("a.txt")).u8(0).u32(0x80000000);
    cases.push_back({"size of 2^31", b.trailer().bytes(), "File Read error(2)!"});
  }
  {
    PackageBuilder b = package();
    b.u32(layout::record_marker).u8(6).raw(std::string("a.txt")).u8(0).u32(0x7FFFFFF0);
    cases.push_back({"size past the end", b.trailer().bytes(), "File Read error(2)!"});
  }
  {
    PackageBuilder b = package();
    b.record("a.txt", Bytes{});
    cases.push_back({"size 0", b.trailer().bytes(), "File Decompress error(1)!"});
  }
  {
    Bytes bad = good;
    bad.back() ^= 0xFF;
    PackageBuilder b = package();
    cases.push_back({"wrong check value", b.record("a.txt", bad).trailer().bytes(),
                     "File Decompress error(1)!"});
  }
  {
    PackageBuilder b = package();
    b.record("", good);
    cases.push_back({"empty name", b.trailer().bytes(), "File Output error(1)!"});
  }
  {
    // The stored size takes in the next record as well: the stream ends
    // before its stored bytes do.
    PackageBuilder next = package();
    next.record("b.txt", good);
    Bytes swallowed(next.bytes().begin() + 300 + 16, next.bytes().end());
    Bytes both = good;
    both.insert(both.end(), swallowed.begin(), swallowed.end());
    PackageBuilder b = package();
    cases.push_back({"size past the stream", b.record("a.txt", both).trailer().bytes(),
                     "File Decompress error(1)!"});
  }
  for (const Case& c : cases) {
    Outcome outcome = run(c.file);
    EXPECT_EQ(outcome.warning(), c.message) << c.what;
    EXPECT_EQ(outcome.exit_code, 1) << c.what;
    EXPECT_FALSE(fs::exists(out() / "a.txt")) << c.what;
    // A damaged size is refused before anything of its size is allocated:
    // nothing larger than the extraction's work area.
    EXPECT_LE(outcome.largest_block, inflate_work_size) << c.what;
  }
}

// Every single-byte change of a checksummed package, header and trailer
// included, ends in a message before anything is written. Packages of
// earlier writers (the checksum over the body alone, or junk in the
// reserved bytes) extract as they always have.
TEST_F(Driver, EveryChangedByteOfAChecksummedPackageIsRefused) {
  PackageBuilder builder = package();
  builder.record("a.txt", packlib::deflate_stream(text_bytes("content")))
      .record("d\\b.txt", packlib::deflate_stream(text_bytes("more")))
      .run("none.exe")
      .trailer()
      .options(layout::option_checksum_header)
      .seal_checksum();
  const Bytes sealed = builder.bytes();
  std::vector<std::string> unnoticed;
  int32_t flips = 0;
  for (size_t at = 300; at < sealed.size(); ++at) {
    for (uint8_t mask : {uint8_t(0x01), uint8_t(0xFF)}) {
      Bytes changed = sealed;
      changed[at] ^= mask;
      fs::remove_all(out());
      fs::create_directories(out());
      Outcome outcome = run(changed);
      ++flips;
      if (outcome.warning().empty() || !fs::is_empty(out()))
        unnoticed.push_back(std::to_string(at - 300) + "^" + std::to_string(mask));
    }
  }
  EXPECT_EQ(flips, 2 * int32_t(sealed.size() - 300));
  EXPECT_TRUE(unnoticed.empty()) << testing::PrintToString(unnoticed);

  struct Control {
    const char* what;
    uint8_t options;
    Bytes reserved; // header bytes 7 to 15
  };
  for (const Control& c :
       {Control{"a body checksum", layout::option_checksum, Bytes(9, 0)},
        Control{"junk", 0, text_bytes("123456789")}, Control{"no checksum", 0, Bytes(9, 0)}}) {
    PackageBuilder plain = package();
    plain.record("a.txt", packlib::deflate_stream(text_bytes("content"))).trailer();
    Bytes file = plain.bytes();
    std::copy(c.reserved.begin(), c.reserved.end(), file.begin() + 300 + 7);
    if (c.options & layout::option_checksum) {
      uint32_t crc = crc32_fast_update(0, file.data() + 316, file.size() - 316 - 8);
      store_u32(file.data() + 300 + layout::checksum_offset, crc);
    }
    file[300 + layout::options_offset] = c.options;
    fs::remove_all(out());
    fs::create_directories(out());
    EXPECT_TRUE(run(file).messages.empty()) << c.what;
    EXPECT_EQ(harness::read_text(out() / "a.txt"), "content") << c.what;
  }
}

TEST_F(Driver, UnsafeNamesWriteNothingOutside) {
  Bytes stream = packlib::deflate_stream(text_bytes("evil"));
  struct Case {
    std::string name;
    bool refused_on_windows, refused_on_posix;
  };
  for (const Case& c : std::vector<Case>{{"..\\escaped.txt", true, true},
                                         {"sub\\..\\..\\escaped.txt", true, true},
                                         {"../escaped.txt", true, true},
                                         {"\\escaped.txt", true, true},
                                         {"C:escaped.txt", true, false},
                                         {"nul.txt", true, false},
                                         {"sub\\CON", true, false},
                                         {".. \\x", true, false},
                                         {"lpt0.log", true, false},
                                         {"COM\xB9", true, false},
                                         {"CONOUT$", true, false},
                                         {"aux.c", true, false}}) {
    fs::remove_all(out());
    fs::create_directories(out());
    PackageBuilder b = package();
    b.record(c.name, stream).trailer();
    Outcome outcome = run(b.bytes());
    bool refused = host_is_windows ? c.refused_on_windows : c.refused_on_posix;
    EXPECT_EQ(outcome.warning(), refused ? "File Output error(2)!" : "") << c.name;
    EXPECT_FALSE(fs::exists(work_ / "escaped.txt")) << c.name;
    EXPECT_EQ(fs::is_empty(out()), refused) << c.name;
  }
}

TEST_F(Driver, NameFields) {
  Bytes stream = packlib::deflate_stream(text_bytes("n"));
  PackageBuilder b = package();
  // A NUL inside the field cuts the name; a field without NUL is all name.
  b.u32(layout::record_marker).u8(8).raw(std::string("a.txt")).u8(0).raw(std::string("zz"));
  b.u32(uint32_t(stream.size())).raw(stream);
  b.u32(layout::record_marker).u8(5).raw(std::string("b.txt"));
  b.u32(uint32_t(stream.size())).raw(stream);
  std::string longest(253, 'n');
  b.record(longest.substr(0, 200), stream);
  b.trailer();
  Outcome outcome = run(b.bytes());
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  EXPECT_TRUE(fs::exists(out() / "a.txt"));
  EXPECT_TRUE(fs::exists(out() / "b.txt"));
  EXPECT_TRUE(fs::exists(out() / longest.substr(0, 200)));
}

TEST_F(Driver, RecordsEndAtTheRunRecordOrTheTrailer) {
  Bytes stream = packlib::deflate_stream(text_bytes("x"));
  // A damaged marker would silently drop the files and the command behind
  // it; so would a walk that stops short of the trailer.
  PackageBuilder damaged = package();
  damaged.record("a.txt", stream).u32(0xE1E0E0E0).record("b.txt", stream).trailer();
  PackageBuilder trailer_early = package();
  trailer_early.record("a.txt", stream).trailer().raw(Bytes(4, 0)).trailer();
  for (PackageBuilder* b : {&damaged, &trailer_early}) {
    Outcome outcome = run(b->bytes());
    EXPECT_EQ(outcome.warning(), "File format error(5)!");
    EXPECT_TRUE(fs::exists(out() / "a.txt"));
    EXPECT_FALSE(fs::exists(out() / "b.txt"));
  }
  // Bytes behind the run record are the writer's gap and never read; so
  // are up to 8 bytes behind the last file record, too few to hold one.
  PackageBuilder gap = package();
  gap.record("b.txt", stream).run("").raw(Bytes(7, 0xE0)).trailer();
  EXPECT_TRUE(run(gap.bytes()).messages.empty());
  EXPECT_TRUE(fs::exists(out() / "b.txt"));
  for (size_t tail : {1u, 4u, 8u, 9u}) {
    PackageBuilder short_gap = package();
    short_gap.record("c.txt", stream).raw(Bytes(tail, 0xE1)).trailer();
    EXPECT_EQ(run(short_gap.bytes()).warning(), tail < 9 ? "" : "File format error(5)!") << tail;
  }
}

TEST_F(Driver, RunRecordFailures) {
  PackageBuilder rejected = package();
  rejected.record("a.txt", packlib::deflate_stream(text_bytes("x")))
      .u32(layout::run_marker)
      .u8(255)
      .trailer();
  Outcome outcome = run(rejected.bytes());
  EXPECT_EQ(outcome.warning(), "File Read Execution File error(1)!");
  EXPECT_TRUE(fs::exists(out() / "a.txt")); // extracted files stay

  // The target directory and the command together exceed 255 bytes: refused,
  // never cut, and nothing is launched or registered.
  PackageBuilder long_command = package();
  long_command.run(std::string(250, 'c')).trailer();
  Outcome refused = run(long_command.bytes());
  EXPECT_EQ(refused.warning(), "File Read Execution File error(2)!");
  EXPECT_EQ(refused.exit_code, 1);

  // 255 bytes after the target directory's prefix fit; 256 do not.
  std::string target = harness::stub_path(out()) + "\\";
  ASSERT_LT(target.size(), 200u);
  for (size_t total : {255u, 256u}) {
    PackageBuilder b = package();
    b.run(std::string(total - target.size(), 'c')).trailer();
    Outcome outcome = run(b.bytes());
    EXPECT_EQ(outcome.warning(), total == 255 ? "" : "File Read Execution File error(2)!") << total;
  }
}

TEST_F(Driver, TargetArgumentTooLongForItsBuffer) {
  PackageBuilder b = package();
  b.record("f.txt", packlib::deflate_stream(text_bytes("x"))).trailer();
  std::string too_long = harness::stub_path(out()) + "\\" + std::string(5000, 'd');
  Outcome outcome = run(b.bytes(), too_long);
  EXPECT_EQ(outcome.warning(), "File Output error(1)!");
  EXPECT_TRUE(fs::is_empty(out()));
  EXPECT_FALSE(fs::exists(temp_.path() / "f.txt"));
  EXPECT_FALSE(fs::exists(fs::path("/f.txt")));
}

TEST_F(Driver, RelativeTargetIsMadeAbsolute) {
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(work_.path());
  PackageBuilder b = package();
  b.record("f.txt", packlib::deflate_stream(text_bytes("x"))).trailer();
  Outcome outcome = run(b.bytes(), "rel");
  fs::current_path(before);
  EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
  EXPECT_EQ(harness::read_text(work_ / "rel" / "f.txt"), "x");
}

TEST_F(Driver, MissingTargetWithRunRecordEndsInRunTimeError) {
  PackageBuilder b = package();
  b.run("setup.exe").trailer();
  Outcome outcome = run(b.bytes(), "\"" + harness::stub_path(work_ / "does not exist") + "\"");
  EXPECT_TRUE(outcome.ended);
  EXPECT_NE(outcome.exit_code, 0);
  EXPECT_EQ(outcome.report().substr(0, 13), "Runtime error");
}

TEST_F(Driver, HeadMarkerSelectsHeadModeOverATrailer) {
  PackageBuilder b = package();
  b.trailer();
  Bytes head = b.bytes();
  store_split_set_header(&head[layout::split_set_offset], 201);
  EXPECT_EQ(run(head).warning(), "File format error(100)!");
}

// Every system call of a whole run, failed (or cut short) in turn: each run
// ends complete or in one of the stub's messages or a run-time error, never
// leaves a truncated file or anything outside the target directory, and
// leaves the restart list either as it was or correctly edited.
TEST_F(Driver, EverySystemCallFailingInTurn) {
  Bytes big(100000);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = uint8_t((i * 2654435761u) >> 11);
  std::map<std::string, Bytes> files = {
      {"a.txt", text_bytes("alpha")}, {"dir/sub/big.bin", big}, {"dir/c.txt", text_bytes("")}};
  PackageBuilder builder = package();
  for (const auto& [name, content] : files) {
    std::string stored = name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    builder.record(stored, packlib::deflate_stream(content));
  }
  Bytes file = builder.run("no-such-setup.exe /S").trailer().bytes();
  packlib::write_whole_file(own_, file);

  // Only Windows keeps the list (in the prefix's Windows directory).
  char windows[256] = {};
  fs::path list;
  uint32_t length = get_windows_directory(windows, 255);
  ASSERT_EQ(length > 0, system_has_restart_list());
  if (length > 0) {
    std::string directory = windows;
    std::replace(directory.begin(), directory.end(), '\\', '/');
    list = fs::path(directory) / "wininit.ini";
  }
  const std::string before = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\old.exe\r\n";
  const std::string edited = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=" + harness::stub_path(own_) +
                             "\r\nNUL=C:\\old.exe\r\n";
#ifndef _WIN32
  std::string saved_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "", 1);
#endif
  for (SeamFault fault : {SeamFault::fail, SeamFault::short_count}) {
    for (int call = 1;; ++call) {
      fs::remove_all(out());
      fs::create_directories(out());
      if (!list.empty()) {
        fs::remove(list.string() + "~");
        harness::write_text(list, before);
      }
      seam_arm(call, fault);
      Outcome outcome = run(file);
      bool fired = seam_fired();
      seam_arm(0, SeamFault::fail);
      std::string where = std::string(fault == SeamFault::fail ? "failed" : "short") + " call " +
                          std::to_string(call);

      bool complete = true;
      for (const auto& [name, content] : files) {
        fs::path path = out() / name;
        if (!fs::exists(path)) {
          complete = false;
        } else {
          EXPECT_TRUE(packlib::read_whole_file(path) == content) << where << ": " << name;
        }
      }
      for (const auto& entry : fs::recursive_directory_iterator(out())) {
        if (entry.is_regular_file()) {
          EXPECT_TRUE(files.count(fs::relative(entry.path(), out()).generic_string()))
              << where << ": " << entry.path();
        }
      }
      std::set<std::string> beside;
      for (const auto& entry : fs::directory_iterator(work_.path()))
        beside.insert(entry.path().filename().string());
      EXPECT_EQ(beside, (std::set<std::string>{"bundle.exe", "out"})) << where;
      EXPECT_TRUE(fs::is_empty(temp_.path())) << where;
      std::string after = list.empty() ? edited : harness::read_text(list);
      EXPECT_TRUE(after == before || after == edited) << where << ":\n" << after;
      if (outcome.messages.empty()) {
        EXPECT_TRUE(complete && outcome.exit_code == 0) << where;
      }
      if (!fired) {
        EXPECT_TRUE(outcome.messages.empty() && complete && after == edited) << where;
        break;
      }
    }
  }
#ifndef _WIN32
  setenv("PATH", saved_path.c_str(), 1);
#endif
  if (!list.empty()) {
    fs::remove(list);
    fs::remove(list.string() + "~");
  }
}

// Whoever else can write to the target swaps the setup program for one of
// their own between any two system calls of the run: what starts is the
// program the package holds, or nothing. On Windows the swap is made as a
// program there would make it (the held file refuses it) and the
// attacker's file is no program, so that starting it fails; on POSIX the
// name may change, but the file executed is the one written.
fs::path swapped_program;
std::string attacker_program;

// The package's program: a script on POSIX, the argument recorder (built
// beside this test) on Windows, ending with exit code 5.
Bytes setup_program_bytes() {
#ifdef _WIN32
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return packlib::read_whole_file(fs::path(self).parent_path() / "record_args.exe");
#else
  return text_bytes("#!/bin/sh\nexit 5\n");
#endif
}

void swap_program() {
  std::error_code ignored;
  if (!fs::exists(swapped_program, ignored))
    return;
  fs::rename(swapped_program, swapped_program.string() + ".old", ignored);
  if (ignored)
    return;
  harness::write_text(swapped_program, attacker_program);
  fs::permissions(swapped_program, fs::perms::owner_all, ignored);
}

TEST_F(Driver, SetupProgramSwappedBetweenTwoCalls) {
  std::string name = host_is_windows ? "go.exe" : "go.sh";
  attacker_program = host_is_windows ? "MZ not a program" : "#!/bin/sh\nexit 66\n";
#ifdef _WIN32
  SetEnvironmentVariableA("SFX_RECORD", harness::stub_path(work_ / "record.txt").c_str());
#endif
  PackageBuilder builder = package();
  builder.record(name, packlib::deflate_stream(setup_program_bytes()))
      .record("more.txt", packlib::deflate_stream(text_bytes("more")))
      .run(name + " exit=5")
      .trailer()
      .options(layout::option_wait);
  int32_t started = 0;
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  for (int call = 1;; ++call) {
    // A target of its own each time: Wine lets go of a program's file only
    // a while after it has ended.
    fs::path target = work_ / ("t" + std::to_string(call));
    swapped_program = target / name;
    seam_arm_action(call, swap_program);
    Outcome outcome = run(builder.bytes(), "\"" + harness::stub_path(target) + "\"");
    bool fired = seam_fired();
    seam_arm(0, SeamFault::fail);
    fs::current_path(before); // the run changed into the target
    std::string warning = outcome.warning();
    EXPECT_TRUE(outcome.exit_code != 66 && warning != "File Read Execution File error(3)!")
        << "the attacker's program was started, swapped before call " << call;
    EXPECT_TRUE((warning.empty() && outcome.exit_code == 5) || warning == "File Output error(1)!")
        << call << ": " << warning << " " << outcome.exit_code;
    started += outcome.exit_code == 5;
    if (!fired)
      break;
  }
  EXPECT_GT(started, 0);
}

// The command line's own paths with every system call failing in turn:
// listing, checking, and a waited setup in a directory of the run's own,
// which goes once the setup has ended. Each run ends complete or in a
// message; nothing lands beside the installer, nor in the current
// directory (a scratch one) but from a run without a target whose temp
// query failed; a run with no failure leaves the temp directory empty.
TEST_F(Driver, CommandLinePathsWithEveryCallFailing) {
#ifdef _WIN32
  SetEnvironmentVariableA("SFX_RECORD", harness::stub_path(work_ / "record.txt").c_str());
#endif
  std::string name = host_is_windows ? "go.exe" : "go.sh";
  PackageBuilder builder = package();
  builder.record("d\\f.txt", packlib::deflate_stream(text_bytes("f")))
      .record(name, packlib::deflate_stream(setup_program_bytes()))
      .run(name)
      .trailer()
      .options(layout::option_command_line | layout::option_wait);
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::path current = work_ / "current";
  for (const char* arguments : {"", "--list", "--check --quiet"}) {
    // Under Wine each run takes a good part of a second: there the listing
    // alone goes through every failing call, and the waited setup is left
    // to the end-to-end tests.
    if (host_is_windows && std::string(arguments) != "--list")
      continue;
    for (int call = 1;; ++call) {
      fs::remove_all(temp_.path(), ignored);
      fs::create_directories(temp_.path());
      fs::remove_all(current, ignored);
      fs::create_directories(current);
      fs::current_path(current, ignored);
      seam_arm(call, SeamFault::fail);
      Outcome outcome = run(builder.bytes(), arguments);
      bool fired = seam_fired();
      seam_arm(0, SeamFault::fail);
      fs::current_path(before, ignored);
      std::string where = std::string("[") + arguments + "] call " + std::to_string(call);
      EXPECT_TRUE(outcome.ended) << where;
      // Only a run without a target whose temp query failed extracts into
      // the current directory; listing and checking write nothing.
      if (!(arguments[0] == '\0' && fired)) {
        EXPECT_TRUE(fs::is_empty(current)) << where;
      }
      std::set<std::string> beside;
      for (const auto& entry : fs::directory_iterator(work_.path()))
        beside.insert(entry.path().filename().string());
      beside.erase("record.txt");
      beside.erase("out");
      beside.erase("current");
      EXPECT_EQ(beside, (std::set<std::string>{"bundle.exe"})) << where;
      if (!fired) {
        EXPECT_TRUE(outcome.messages.empty()) << where << outcome.warning();
        EXPECT_TRUE(fs::is_empty(temp_.path())) << where;
        break;
      }
    }
  }
}

// A failed record's temporary file is removed through its own handle (by
// name on POSIX, where a link is removed, never followed): a link planted
// at its name by then, leading to someone else's file, is never followed.
fs::path planted_directory, planted_victim;

void plant_link_at_temporary() {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(planted_directory, ignored)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("sfx", 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".tmp")
      continue;
    fs::rename(entry.path(), planted_directory.parent_path() / "moved.tmp", ignored);
    fs::create_symlink(planted_victim, entry.path(), ignored);
    return;
  }
}

TEST_F(Driver, FailedRecordRemovesOnlyItsOwnFile) {
  if (host_is_windows)
    GTEST_SKIP() << "a Windows program cannot plant a link here (Wine makes none)";
  planted_directory = out();
  planted_victim = work_ / "victim.txt";
  Bytes damaged = packlib::deflate_stream(Bytes(300000, 'v'));
  damaged.back() ^= 0xFF;
  PackageBuilder builder = package();
  builder.record("a.txt", damaged).trailer();
  int32_t planted = 0;
  for (int call = 1;; ++call) {
    fs::remove_all(out());
    fs::remove(work_ / "moved.tmp");
    fs::create_directories(out());
    harness::write_text(planted_victim, "keep");
    seam_arm_action(call, plant_link_at_temporary);
    Outcome outcome = run(builder.bytes());
    bool fired = seam_fired();
    seam_arm(0, SeamFault::fail);
    planted += fs::exists(work_ / "moved.tmp");
    EXPECT_EQ(harness::read_text(planted_victim), "keep") << "planted before call " << call;
    EXPECT_EQ(outcome.warning(), "File Decompress error(1)!") << call;
    if (!fired)
      break;
  }
  EXPECT_GT(planted, 0);
}

#ifdef _WIN32
// A read-only file at a record's name is kept, under Wine as on Windows.
// Names are reached through their directory's handle: a file whose path
// fits MAX_PATH extracts although its temporary name's path would not.
TEST_F(Driver, ReadOnlyFilesAndLongPaths) {
  std::string read_only = harness::stub_path(out() / "ro.txt");
  harness::write_text(out() / "ro.txt", "old");
  SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
  PackageBuilder builder = package();
  builder.record("ro.txt", packlib::deflate_stream(text_bytes("new"))).trailer();
  EXPECT_EQ(run(builder.bytes()).warning(), "File Output error(1)!");
  SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(harness::read_text(out() / "ro.txt"), "old");

  std::string base = harness::stub_path(out()) + "\\";
  fs::path target = out() / std::string(240 - base.size(), 'x');
  PackageBuilder deep = package();
  deep.record("abcdefghij\\a.txt", packlib::deflate_stream(text_bytes("deep"))).trailer();
  EXPECT_EQ(run(deep.bytes(), "\"" + harness::stub_path(target) + "\"").warning(), "");
  EXPECT_EQ(harness::read_text(target / "abcdefghij" / "a.txt"), "deep");
}
#endif

#ifndef _WIN32
TEST_F(Driver, NeverWritesThroughALinkOrIntoAnExistingFile) {
  fs::create_directories(work_ / "outside");
  harness::write_text(work_ / "victim.txt", "keep");
  harness::write_text(work_ / "shared.txt", "keep");
  Bytes evil = packlib::deflate_stream(text_bytes("evil"));
  // A link at a directory below the target: refused before anything is
  // created.
  fs::create_directory_symlink(work_ / "outside", out() / "sub");
  for (const char* name : {"sub\\b.txt", "sub\\new\\c.txt", "sub/b.txt"}) {
    PackageBuilder builder = package();
    builder.record(name, evil).trailer();
    EXPECT_EQ(run(builder.bytes()).warning(), "File Output error(2)!") << name;
  }
  EXPECT_TRUE(fs::is_empty(work_ / "outside"));
  // The target directory itself may lie behind a link: the user chose it.
  fs::create_directory_symlink(out(), work_ / "via link");
  PackageBuilder control = package();
  control.record("real\\c.txt", evil).trailer();
  EXPECT_TRUE(
      run(control.bytes(), "\"" + harness::stub_path(work_ / "via link") + "\"").messages.empty());
  EXPECT_EQ(harness::read_text(out() / "real" / "c.txt"), "evil");
  // A link or a hard link planted at the file's name is replaced, never
  // written through.
  fs::create_symlink(work_ / "victim.txt", out() / "a.txt");
  fs::create_hard_link(work_ / "shared.txt", out() / "hard.txt");
  PackageBuilder replaced = package();
  replaced.record("a.txt", evil).record("hard.txt", evil).trailer();
  EXPECT_TRUE(run(replaced.bytes()).messages.empty());
  for (const char* name : {"a.txt", "hard.txt"}) {
    EXPECT_FALSE(fs::is_symlink(out() / name)) << name;
    EXPECT_EQ(harness::read_text(out() / name), "evil") << name;
  }
  EXPECT_EQ(harness::read_text(work_ / "victim.txt"), "keep");
  EXPECT_EQ(harness::read_text(work_ / "shared.txt"), "keep");
}

// A directory below the target swapped for a link between any two system
// calls of the run: nothing is ever written outside the target.
fs::path swapped_directory, swap_destination;

void swap_for_link() {
  fs::rename(swapped_directory, swapped_directory.string() + ".old");
  fs::create_directory_symlink(swap_destination, swapped_directory);
}

TEST_F(Driver, DirectorySwappedForALinkBetweenTwoCalls) {
  swapped_directory = out() / "sub";
  swap_destination = work_ / "outside";
  fs::create_directories(swap_destination);
  PackageBuilder builder = package();
  builder.record("sub\\deep\\f.bin", packlib::deflate_stream(Bytes(1 << 20, 'x')))
      .record("sub\\g.txt", packlib::deflate_stream(text_bytes("g")))
      .trailer();
  for (int call = 1;; ++call) {
    fs::remove_all(out());
    fs::create_directories(swapped_directory);
    seam_arm_action(call, swap_for_link);
    Outcome outcome = run(builder.bytes());
    bool fired = seam_fired();
    seam_arm(0, SeamFault::fail);
    EXPECT_TRUE(fs::is_empty(swap_destination)) << "swapped before call " << call;
    std::string warning = outcome.warning();
    EXPECT_TRUE(warning.empty() || warning == "File Output error(2)!") << call << ": " << warning;
    if (!fired)
      break;
  }
}

TEST_F(Driver, ProgramsBecomeExecutable) {
  PackageBuilder builder = package();
  builder.record("setup.sh", packlib::deflate_stream(text_bytes("#!/bin/sh\nexit 0\n")))
      .record("notes.txt", packlib::deflate_stream(text_bytes("#notes")))
      .trailer();
  EXPECT_TRUE(run(builder.bytes()).messages.empty());
  auto executable = [](const fs::path& path) {
    return (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(executable(out() / "setup.sh"));
  EXPECT_FALSE(executable(out() / "notes.txt"));
}

TEST_F(Driver, FailedWriteLeavesNoTruncatedFile) {
  // A file size limit makes the write come back short.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_IGN);
  PackageBuilder builder = package();
  builder.record("big.bin", packlib::deflate_stream(Bytes(50000, 'b'))).trailer();
  packlib::write_whole_file(own_, builder.bytes());
  struct rlimit limit = saved;
  limit.rlim_cur = 20000;
  setrlimit(RLIMIT_FSIZE, &limit);
  Outcome outcome =
      harness::run_stub({own_, "\"" + harness::stub_path(out()) + "\"", harness::Seal::matching});
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(outcome.warning(), "File Output error(3)!");
  EXPECT_FALSE(fs::exists(out() / "big.bin"));
}
#endif

} // namespace
