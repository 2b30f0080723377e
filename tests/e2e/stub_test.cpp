// End-to-end tests on real stub files: the POSIX stub run natively and the
// Windows stub run under Wine, each with packages written by the package
// library.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <zlib.h>

#include "e2e/runner.h"
#include "harness/harness.h"
#include "package/format.h"
#include "package/layout.h"
#include "package/pe_image.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/installer.h"
#include "tools/packlib/package.h"

namespace e2e {
namespace {

using packlib::Bytes;
using packlib::PackageBuilder;

Bytes bytes_of(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

class Stub : public testing::TestWithParam<Platform> {
protected:
  void SetUp() override {
    if (!runner_.available())
      GTEST_SKIP() << runner_.unavailable_reason();
    stub_ = packlib::read_whole_file(runner_.stub());
    installer_ = work_ / ("bundle" + runner_.program_suffix());
    fs::create_directories(out());
  }

  PackageBuilder package() {
    PackageBuilder builder(stub_);
    builder.header();
    return builder;
  }

  Result run(const Bytes& file, const std::vector<std::string>& arguments) {
    packlib::write_whole_file(installer_, file);
    return runner_.run(installer_, arguments, {"SFX_RECORD=" + record_argument()});
  }
  Result run(const Bytes& file) { return run(file, {runner_.path_argument(out())}); }

  fs::path out() const { return work_ / "out dir"; }
  fs::path record() const { return work_ / "record.txt"; }
  std::string record_argument() const { return runner_.path_argument(record()); }
  std::string helper_name() const { return "rec" + runner_.program_suffix(); }
  Bytes helper_stream() const {
    return packlib::deflate_stream(packlib::read_whole_file(runner_.record_helper()));
  }
  std::string list() const {
    return harness::read_text(runner_.windows_directory() / "wininit.ini");
  }
  // The stub writes its own path Windows-style on every platform.
  std::string entry() const {
    return "NUL=" + (GetParam() == Platform::posix ? harness::stub_path(installer_)
                                                   : runner_.path_argument(installer_));
  }

  Runner runner_{GetParam()};
  harness::TempDir work_;
  Bytes stub_;
  fs::path installer_;
};

TEST_P(Stub, FormatErrors) {
  EXPECT_EQ(run(stub_).warning(), "File format error(2)!");

  PackageBuilder bad_trailer = package();
  bad_trailer.u32(0x77777776).u32(bad_trailer.package_offset());
  EXPECT_EQ(run(bad_trailer.bytes()).warning(), "File format error(2)!");

  PackageBuilder far_offset = package();
  far_offset.u32(layout::trailer_marker).u32(0x80000000);
  EXPECT_EQ(run(far_offset.bytes()).warning(), "File format error(3)!");

  PackageBuilder offset_at_end = package();
  offset_at_end.u32(layout::trailer_marker).u32(uint32_t(stub_.size() + 16 + 8));
  EXPECT_EQ(run(offset_at_end.bytes()).warning(), "File format error(4)!");

  PackageBuilder capitals(stub_);
  capitals.raw(std::string("VKZIP")).raw(Bytes(11, 0)).trailer();
  Result rejected = run(capitals.bytes());
  EXPECT_EQ(rejected.warning(), "File format error(4)!");
  EXPECT_EQ(rejected.exit_code, 1);
  EXPECT_EQ(rejected.boxes.size(), 1u);

  PackageBuilder no_nul(stub_);
  no_nul.raw(std::string("VKZip ")).raw(Bytes(10, 0)).trailer();
  EXPECT_EQ(run(no_nul.bytes()).warning(), "File format error(4)!");
}

TEST_P(Stub, EmptyPackageRegistersTheRestartDeletion) {
  PackageBuilder garbage(stub_);
  garbage.raw(std::string("VKZip")).u8(0).raw(std::string("0123456789")).trailer();
  Result result = run(garbage.bytes());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  EXPECT_TRUE(fs::is_empty(out()));
  // The list is kept on Windows alone: nothing reads it on POSIX.
  if (!is_wine(GetParam())) {
    EXPECT_FALSE(fs::exists(runner_.windows_directory() / "wininit.ini"));
    return;
  }
  EXPECT_NE(list().find("[rename]\r\n" + entry() + "\r\n"), std::string::npos) << list();
  // NT is asked for no delayed deletion: it would delete the download and
  // tell other installers that a reboot is pending.
  EXPECT_EQ(result.output.find(",00000000,00000004)"), std::string::npos) << result.output;
}

TEST_P(Stub, ListWithoutAccess) {
  // A list that cannot be created: on Windows NT it has no effect and is
  // skipped, and the installer stays after the next start; a POSIX stub
  // never touches it.
  fs::path blocked = runner_.windows_directory() / "wininit.ini";
  fs::remove(blocked);
  fs::create_directories(blocked);
  PackageBuilder builder = package();
  builder.record("a.txt", packlib::deflate_stream(bytes_of("a"))).trailer();
  Result result = run(builder.bytes());
  fs::remove_all(blocked);
  EXPECT_TRUE(fs::exists(out() / "a.txt"));
  EXPECT_EQ(result.exit_code, 0) << result.output;
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  if (!is_wine(GetParam()))
    return;
  runner_.run("wineboot", {"-r"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(fs::exists(installer_));
}

TEST_P(Stub, ChangedByteFailsTheSelfCheck) {
  // Bytes the system's loader does not look at: a message text in the
  // stub's data and its last byte.
  std::string text = "Combine error!!";
  size_t message =
      size_t(std::search(stub_.begin(), stub_.end(), text.begin(), text.end()) - stub_.begin());
  ASSERT_LT(message, stub_.size());
  for (size_t at : {message, message + 8, stub_.size() - 1}) {
    PackageBuilder builder = package();
    builder.record("a.txt", packlib::deflate_stream(bytes_of("abc"))).trailer();
    builder.bytes()[at] ^= 0x10;
    Result result = run(builder.bytes());
    EXPECT_EQ(result.warning(), "File check error(1)!") << "byte " << at;
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_FALSE(fs::exists(out() / "a.txt"));
  }
  if (GetParam() == Platform::posix)
    return;
  // The PE checksum and the certificate-table entry change when a stub is
  // signed: both stay outside the seal.
  PeFields pe = pe_fields(stub_.data(), uint32_t(stub_.size()));
  for (uint32_t at : {pe.checksum, pe.certificates, pe.certificates + 4}) {
    PackageBuilder builder = package();
    builder.record("a.txt", packlib::deflate_stream(bytes_of("abc"))).trailer();
    builder.bytes()[at] ^= 0x10;
    Result result = run(builder.bytes());
    EXPECT_TRUE(result.boxes.empty()) << "byte " << at << result.output;
    EXPECT_EQ(harness::read_text(out() / "a.txt"), "abc") << "byte " << at;
    fs::remove(out() / "a.txt");
  }
}

TEST_P(Stub, HeadMarkerWinsOverATrailer) {
  if (GetParam() == Platform::posix)
    GTEST_SKIP() << "an ELF stub's bytes 128 to 135 belong to its program headers";
  PackageBuilder builder = package();
  builder.trailer();
  Bytes head = builder.bytes();
  store_split_set_header(&head[layout::split_set_offset], 201);
  EXPECT_EQ(run(head).warning(), "File format error(100)!");
}

TEST_P(Stub, ExtractsAndLaunchesTheSetupCommand) {
  PackageBuilder builder = package();
  // A name stored in UTF-8, and marked so, arrives as the same name.
  builder.record("Gr\xC3\xBC\xC3\x9F"
                 "e.txt",
                 packlib::deflate_stream(bytes_of("utf-8")));
  builder.record("dir\\sub\\deep.txt", packlib::deflate_stream(bytes_of("deep")))
      .record("top.txt", packlib::deflate_stream(Bytes(100000, 'z'), 9))
      .record("level12.txt", packlib::compress_stream(bytes_of(std::string(5000, 'l')), 12))
      .record(helper_name(), helper_stream())
      .run(helper_name() + " first \"two words\" \"%path%.\"")
      .trailer()
      .options(layout::option_utf8);
  fs::path target = out() / "new target";
  Result result = run(builder.bytes(), {runner_.path_argument(target)});
  EXPECT_EQ(result.exit_code, 0) << result.output;
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  EXPECT_EQ(harness::read_text(target / "dir" / "sub" / "deep.txt"), "deep");
  EXPECT_EQ(fs::file_size(target / "top.txt"), 100000u);
  EXPECT_EQ(harness::read_text(target / "level12.txt"), std::string(5000, 'l'));
  EXPECT_EQ(harness::read_text(target / "Gr\xC3\xBC\xC3\x9F"
                                        "e.txt"),
            "utf-8");
  ASSERT_TRUE(wait_for(record()));
  std::string target_argument = runner_.path_argument(target);
  std::string recorded = harness::read_text(record());
  EXPECT_EQ(recorded,
            "cwd=" + target_argument + "\narg=first\narg=two words\narg=" +
                (GetParam() == Platform::posix ? target.string() + "/." : target_argument + "\\.") +
                "\nend\n");
  EXPECT_EQ(list().find(entry()) != std::string::npos, is_wine(GetParam()));
}

TEST_P(Stub, SetupCommandEdits) {
  struct Case {
    std::string command;
    bool launched;
    std::string last_argument; // with <T> for the target directory
  };
  // A target without blanks, so that "%path%" stays one argument.
  fs::path target = work_ / "plain";
  std::string t =
      GetParam() == Platform::posix ? target.string() + "/" : runner_.path_argument(target) + "\\";
  std::vector<Case> cases = {
      {helper_name() + " %path%x %path%", true, t + "x"},
      {helper_name() + " %PATH%", true, "%PATH%"},
      {"", false, ""},
      {"%path%", false, ""},
  };
  for (const Case& c : cases) {
    fs::remove(record());
    PackageBuilder builder = package();
    builder.record(helper_name(), helper_stream()).run(c.command).trailer();
    Result result = run(builder.bytes(), {runner_.path_argument(target)});
    EXPECT_EQ(result.exit_code, 0) << c.command;
    EXPECT_TRUE(result.boxes.empty()) << c.command;
    if (!c.launched) {
      EXPECT_FALSE(wait_for(record(), 1.5)) << c.command;
      continue;
    }
    ASSERT_TRUE(wait_for(record())) << c.command;
    std::string recorded = harness::read_text(record());
    EXPECT_NE(recorded.find("arg=" + c.last_argument + "\n"), std::string::npos)
        << c.command << "\n"
        << recorded;
    if (c.command.find("%path%x %path%") != std::string::npos) {
      EXPECT_NE(recorded.find("arg=%path%\n"), std::string::npos) << recorded;
    }
  }
}

TEST_P(Stub, OverlongSetupCommandIsRefused) {
  PackageBuilder builder = package();
  builder.record("a.txt", packlib::deflate_stream(bytes_of("a")))
      .run(std::string(254, 'c'))
      .trailer();
  Result result = run(builder.bytes());
  EXPECT_EQ(result.warning(), "File Read Execution File error(2)!");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(fs::exists(out() / "a.txt"));
  EXPECT_EQ(list().find(entry()), std::string::npos);
}

TEST_P(Stub, MissingTargetDirectoryBeforeTheLaunch) {
  PackageBuilder builder = package();
  builder.run("setup.exe").trailer();
  Result result = run(builder.bytes(), {runner_.path_argument(work_ / "missing")});
  EXPECT_TRUE(result.exit_code == 2 || result.exit_code == 3) << result.exit_code;
  std::string report = result.report();
  ASSERT_EQ(report.size(), 29u) << result.output;
  EXPECT_EQ(report.substr(0, 17), "Runtime error   " + std::to_string(result.exit_code));
}

TEST_P(Stub, DamagedRecordsAndUnsafeNames) {
  PackageBuilder bad_size = package();
  bad_size.u32(layout::record_marker).u8(6).raw(std::string("a.txt")).u8(0).u32(0xFFFFFFF0);
  EXPECT_EQ(run(bad_size.trailer().bytes()).warning(), "File Read error(2)!");

  Bytes dictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  PackageBuilder needs_dictionary = package();
  needs_dictionary.record("a.txt", dictionary).trailer();
  EXPECT_EQ(run(needs_dictionary.bytes()).warning(), "File Decompress error(1)!");

  PackageBuilder escape = package();
  escape.record("..\\escaped.txt", packlib::deflate_stream(bytes_of("x"))).trailer();
  Result refused = run(escape.bytes());
  EXPECT_EQ(refused.warning(), "File Output error(2)!");
  EXPECT_FALSE(fs::exists(work_ / "escaped.txt"));

  // A directory link below the target leads outside: refused before
  // anything is created; the same name without the link extracts.
  fs::create_directories(work_ / "outside");
  fs::create_directory_symlink(work_ / "outside", out() / "sub");
  PackageBuilder through_link = package();
  through_link.record("sub\\a.txt", packlib::deflate_stream(bytes_of("x"))).trailer();
  EXPECT_EQ(run(through_link.bytes()).warning(), "File Output error(2)!");
  EXPECT_TRUE(fs::is_empty(work_ / "outside"));
  fs::remove(out() / "sub");
  EXPECT_TRUE(run(through_link.bytes()).boxes.empty());
  EXPECT_TRUE(fs::exists(out() / "sub" / "a.txt"));

  // A link at the file's own name is replaced, never written through; a
  // damaged stream leaves the file it would have replaced as it was.
  harness::write_text(work_ / "victim.txt", "keep");
  fs::create_symlink(work_ / "victim.txt", out() / "link.txt");
  PackageBuilder over_link = package();
  over_link.record("link.txt", packlib::deflate_stream(bytes_of("new"))).trailer();
  EXPECT_TRUE(run(over_link.bytes()).boxes.empty());
  EXPECT_FALSE(fs::is_symlink(out() / "link.txt"));
  EXPECT_EQ(harness::read_text(out() / "link.txt"), "new");
  EXPECT_EQ(harness::read_text(work_ / "victim.txt"), "keep");
  Bytes broken = packlib::deflate_stream(Bytes(100000, 'z'));
  broken.back() ^= 0x55; // the check value: found only after all is written
  PackageBuilder damaged_over = package();
  damaged_over.record("link.txt", broken).trailer();
  EXPECT_EQ(run(damaged_over.bytes()).warning(), "File Decompress error(1)!");
  EXPECT_TRUE(harness::read_text(out() / "link.txt") == "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 2);

  // A walk that ends at a damaged marker loses files silently no more.
  PackageBuilder damaged_marker = package();
  damaged_marker.record("b.txt", packlib::deflate_stream(bytes_of("b"))).u32(0xE0E0E0E1);
  damaged_marker.record("c.txt", packlib::deflate_stream(bytes_of("c")));
  EXPECT_EQ(run(damaged_marker.trailer().bytes()).warning(), "File format error(5)!");

  // A target argument too long for its buffer never becomes another place.
  PackageBuilder plain = package();
  plain.record("c.txt", packlib::deflate_stream(bytes_of("c"))).trailer();
  Result too_long = run(plain.bytes(), {runner_.path_argument(out()) + std::string(5000, 'x')});
  EXPECT_EQ(too_long.warning(), "File Output error(1)!");
  EXPECT_FALSE(fs::exists(out() / "c.txt"));
}

TEST_P(Stub, SignedInstallersExtract) {
  if (GetParam() == Platform::posix)
    GTEST_SKIP() << "code signing is for Windows executables";
  // As the packaging tool writes it (a length that is a multiple of 8), and
  // crafted with a length that signing pads with zero bytes behind the
  // trailer.
  Bytes aligned = packlib::build_installer(
      stub_, {{"a.txt", packlib::deflate_stream(bytes_of("signed"))}}, std::nullopt);
  PackageBuilder unaligned = package();
  unaligned.record("a.txt", packlib::deflate_stream(bytes_of("signed")));
  unaligned.run(std::string((8 - (unaligned.bytes().size() + 14) % 8) % 8 + 1, '\0')).trailer();
  ASSERT_EQ(aligned.size() % 8, 0u);
  ASSERT_NE(unaligned.bytes().size() % 8, 0u);
  for (const Bytes* installer : {&aligned, &unaligned.bytes()}) {
    fs::path plain = work_ / "plain.exe";
    packlib::write_whole_file(plain, *installer);
    ASSERT_TRUE(sign(plain, installer_));
    EXPECT_TRUE(signature_verifies(installer_));
    fs::remove(out() / "a.txt");
    Result result = runner_.run(installer_, {runner_.path_argument(out())});
    EXPECT_TRUE(result.boxes.empty()) << result.output;
    EXPECT_EQ(harness::read_text(out() / "a.txt"), "signed");
    // The unsigned file itself still extracts as before.
    fs::remove(out() / "a.txt");
    EXPECT_TRUE(run(*installer).boxes.empty());
    EXPECT_EQ(harness::read_text(out() / "a.txt"), "signed");
  }
}

TEST_P(Stub, RelativeTargetLaunchesTheSetup) {
  PackageBuilder builder = package();
  builder.record(helper_name(), helper_stream()).run(helper_name() + " %path%").trailer();
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(work_.path());
  Result result = run(builder.bytes(), {"relative"});
  fs::current_path(before);
  EXPECT_EQ(result.exit_code, 0) << result.output;
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  ASSERT_TRUE(wait_for(record()));
  std::string target = runner_.path_argument(work_ / "relative");
  std::string separator = GetParam() == Platform::posix ? "/" : "\\";
  EXPECT_EQ(harness::read_text(record()),
            "cwd=" + target + "\narg=" + target + separator + "\nend\n");
}

TEST_P(Stub, FrameEndsTheProcess) {
  fs::path probe = runner_.frame_probe();
  Result warn = runner_.run(probe, {"warn"});
  EXPECT_EQ(warn.exit_code, 1);
  ASSERT_EQ(warn.boxes.size(), 1u);
  EXPECT_EQ(warn.boxes[0].caption, "Warning");

  Result plain = runner_.run(probe, {});
  EXPECT_EQ(plain.exit_code, 0);
  EXPECT_TRUE(plain.boxes.empty());

  struct Case {
    const char* word;
    int number;
  };
  for (Case c : {Case{"heap", 203}, Case{"foreign", 204}, Case{"fault", 216}, Case{"divide", 200},
                 Case{"stack", 202}}) {
    // Wine's main thread has a single guard page and too little stack left
    // behind it to dispatch a stack overflow at all; it ends the process.
    if (is_wine(GetParam()) && c.number == 202)
      continue;
    Result result = runner_.run(probe, {c.word});
    EXPECT_EQ(result.exit_code, c.number) << c.word << "\n" << result.output;
    std::string report = result.report();
    ASSERT_EQ(report.size(), 29u) << c.word << "\n" << result.output;
    EXPECT_EQ(report.substr(0, 21), "Runtime error " + std::to_string(c.number) + " at ");
    // The address is an offset into the probe's own image.
    unsigned long offset = std::stoul(report.substr(21), nullptr, 16);
    EXPECT_GT(offset, 0u) << report;
    EXPECT_LT(offset, 0x100000u) << report;
  }
  Result missing = runner_.run(probe, {"cd", runner_.path_argument(work_ / "no such dir")});
  EXPECT_TRUE(missing.exit_code == 2 || missing.exit_code == 3) << missing.output;
  EXPECT_EQ(missing.report().substr(0, 17), "Runtime error   " + std::to_string(missing.exit_code));
}

// Names in the system's ANSI code page (1252 here) stay apart and arrive as
// themselves; names in UTF-8 arrive as themselves where the package says
// so, and one the code page cannot hold is refused, never renamed.
TEST_P(Stub, NamesInTheCodePageAndInUtf8) {
  PackageBuilder ansi = package();
  ansi.record("Gr\xFC\xDF"
              "e.txt",
              packlib::deflate_stream(bytes_of("u")))
      .record("Gr\xF6\xDF"
              "e.txt",
              packlib::deflate_stream(bytes_of("o")))
      .trailer();
  Result plain = run(ansi.bytes());
  EXPECT_TRUE(plain.boxes.empty()) << plain.output;
  bool wine = is_wine(GetParam());
  EXPECT_EQ(harness::read_text(out() / (wine ? "Gr\xC3\xBC\xC3\x9F"
                                               "e.txt"
                                             : "Gr\xFC\xDF"
                                               "e.txt")),
            "u");
  EXPECT_EQ(harness::read_text(out() / (wine ? "Gr\xC3\xB6\xC3\x9F"
                                               "e.txt"
                                             : "Gr\xF6\xDF"
                                               "e.txt")),
            "o");
  PackageBuilder utf8 = package();
  utf8.record("\xC3\xA9t\xC3\xA9.txt", packlib::deflate_stream(bytes_of("e")))
      .trailer()
      .options(layout::option_utf8);
  EXPECT_TRUE(run(utf8.bytes()).boxes.empty());
  EXPECT_EQ(harness::read_text(out() / "\xC3\xA9t\xC3\xA9.txt"), "e");
  PackageBuilder omega = package();
  omega.record("\xCE\xA9.txt", packlib::deflate_stream(bytes_of("w")))
      .trailer()
      .options(layout::option_utf8);
  EXPECT_EQ(run(omega.bytes()).warning(), wine ? "File Output error(2)!" : "");
}

// With the wait option the installer ends with the setup's exit code; a
// setup that cannot be started is then a failure.
TEST_P(Stub, WaitingForTheSetup) {
  for (int code : {0, 3}) {
    fs::remove(record());
    PackageBuilder builder = package();
    builder.record(helper_name(), helper_stream())
        .run(helper_name() + " exit=" + std::to_string(code))
        .trailer()
        .options(layout::option_wait);
    Result result = run(builder.bytes());
    EXPECT_EQ(result.exit_code, code) << result.output;
    EXPECT_TRUE(result.boxes.empty()) << result.output;
    EXPECT_TRUE(fs::exists(record())); // finished before the installer ended
  }
  PackageBuilder missing = package();
  missing.run("no-such-setup.exe").trailer().options(layout::option_wait);
  Result refused = run(missing.bytes());
  EXPECT_EQ(refused.warning(), "File Read Execution File error(3)!");
  EXPECT_EQ(refused.exit_code, 1);
}

// The installer's own command line, read only where the package asks for
// it: without the option every argument but the first is ignored and the
// first is the target, whatever it looks like.
TEST_P(Stub, CommandLineOptions) {
  bool windows = is_wine(GetParam());
  auto installer = [&](uint8_t options, const std::string& command) {
    PackageBuilder builder = package();
    builder.record("f.txt", packlib::deflate_stream(bytes_of("x")))
        .record(helper_name(), helper_stream())
        .run(command)
        .trailer()
        .options(options)
        .seal_checksum();
    return builder.bytes();
  };
  constexpr uint8_t reads = layout::option_command_line | layout::option_checksum;
  Bytes plain = installer(reads, helper_name() + " exit=7");
  Bytes damaged = plain;
  damaged[damaged.size() - 12] ^= 0x01; // in the last stream
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(work_.path());
  Result as_target = run(installer(layout::option_checksum, helper_name()), {"--help"});
  fs::current_path(before);
  EXPECT_EQ(as_target.exit_code, 0) << as_target.output;
  EXPECT_TRUE(fs::exists(work_ / "--help" / "f.txt"));

  struct Row {
    std::vector<std::string> arguments;
    bool damaged;
    int exit_code;
    const char* output; // in what the installer wrote to stdout or stderr
    bool written;       // the files extracted into out()
    bool setup_ran;
  };
  std::string target = runner_.path_argument(out());
  std::vector<Row> rows = {
      {{"--help"}, false, 0, "--target DIR", false, false},
      {{"--bogus", target}, false, 2, "Unknown option --bogus", false, false},
      {{target, "--target"}, false, 2, "Unknown option --target", false, false},
      {{"--quiet=yes", target}, false, 2, "Unknown option --quiet=yes", false, false},
      {{"--list", target}, false, 0, "setup: ", false, false},
      {{"--check"}, false, 0, "whole", false, false},
      {{"--check"}, true, 1, "File check error(2)!", false, false},
      {{"--quiet", target}, true, 1, "File check error(2)!", false, false},
      {{"--noexec", "--target", target}, false, 0, target.c_str(), true, false},
      {{"--target=" + target, "--wait", "--", "a", "--list"}, false, 7, "", true, true},
      {{target, "--wait"}, false, 7, "", true, true},
  };
  if (windows) {
    rows.push_back({{"/?"}, false, 0, "/D=DIR", false, false});
    rows.push_back({{"/s", target}, true, 1, "File check error(2)!", false, false});
    std::string parent = runner_.path_argument(work_.path());
    rows.push_back({{"/D=" + parent + "\\out", "dir"}, false, 0, "", true, true});
  }
  for (const Row& row : rows) {
    std::string line;
    for (const std::string& word : row.arguments)
      line += "[" + word + "]";
    fs::remove_all(out());
    fs::remove(record());
    Result result = run(row.damaged ? damaged : plain, row.arguments);
    if (row.setup_ran)
      wait_for(record());
    EXPECT_EQ(result.exit_code, row.exit_code) << line << result.output;
    if (windows) { // on POSIX every message is a line on stderr
      EXPECT_TRUE(result.boxes.empty()) << line << result.output;
    }
    EXPECT_NE((result.standard_output + result.output).find(row.output), std::string::npos)
        << line << result.standard_output << result.output;
    EXPECT_EQ(fs::exists(out() / "f.txt"), row.written) << line;
    EXPECT_EQ(fs::exists(record()), row.setup_ran) << line;
  }
  // The setup's own arguments arrive one by one, behind its stored ones.
  fs::remove(record());
  run(plain, {"--wait", "--target", target, "--", "a", "b c", "d\\\"e"});
  EXPECT_EQ(harness::read_text(record()),
            "cwd=" + target + "\narg=exit=7\narg=a\narg=b c\narg=d\\\"e\nend\n");
  // Listing names every file with its size and the setup command.
  Result listing = run(plain, {"--list"});
  EXPECT_NE(listing.standard_output.find("         1  f.txt\n"), std::string::npos)
      << listing.standard_output;
  EXPECT_NE(listing.standard_output.find("setup: " + helper_name() + " exit=7\n"),
            std::string::npos);
  // A damaged package in a box: the fixed text, then what to do.
  Result told = run(damaged, {target});
  std::string advice =
      "File check error(2)!\nThe installer file is damaged or incomplete; download it again.";
  if (windows)
    EXPECT_EQ(told.warning(), advice);
  else
    EXPECT_NE(told.output.find(advice), std::string::npos) << told.output;
}

// Without a target the installer extracts into a directory of its own in
// the temp directory; once a setup it waited for has ended, that
// directory goes, unless the command line keeps it.
TEST_P(Stub, PrivateDirectoryRemovedAfterTheSetup) {
  for (bool keep : {false, true}) {
    fs::remove(record());
    fs::remove(runner_.windows_directory() / "wininit.ini");
    PackageBuilder builder = package();
    builder.record("sub\\f.txt", packlib::deflate_stream(bytes_of("x")))
        .record(helper_name(), helper_stream())
        .run(helper_name())
        .trailer()
        .options(layout::option_command_line | layout::option_wait);
    std::vector<std::string> arguments;
    if (keep)
      arguments.push_back("--keep");
    Result result = run(builder.bytes(), arguments);
    EXPECT_EQ(result.exit_code, 0) << result.output;
    std::string recorded = harness::read_text(record());
    ASSERT_EQ(recorded.rfind("cwd=", 0), 0u) << recorded;
    std::string directory = recorded.substr(4, recorded.find('\n') - 4);
    bool left = false;
    for (const auto& entry : fs::directory_iterator(runner_.temp_directory()))
      left |= directory.find(entry.path().filename().string()) != std::string::npos &&
              fs::exists(entry.path() / "sub" / "f.txt");
    EXPECT_EQ(left, keep) << directory;
    // What --keep keeps, the installer included: no restart-list entry.
    if (is_wine(GetParam())) {
      EXPECT_EQ(list().find(entry()) == std::string::npos, keep) << list();
    }
  }
  // A link the setup left in it is removed itself: what it leads to stays.
  if (is_wine(GetParam()))
    return;
  fs::path outside = work_ / "outside";
  fs::create_directories(outside);
  harness::write_text(outside / "kept.txt", "k");
  PackageBuilder linking = package();
  linking
      .record("link.sh", packlib::deflate_stream(
                             bytes_of("#!/bin/sh\nln -s '" + outside.string() + "' link\n")))
      .run("link.sh")
      .trailer()
      .options(layout::option_command_line | layout::option_wait);
  EXPECT_EQ(run(linking.bytes(), {}).exit_code, 0);
  EXPECT_TRUE(fs::exists(outside / "kept.txt"));
  for (const auto& entry : fs::directory_iterator(runner_.temp_directory()))
    EXPECT_FALSE(fs::exists(entry.path() / "link.sh")) << entry.path();
}

// A changed byte in a name goes unnoticed without the package checksum; with
// it the installer stops before it writes anything.
TEST_P(Stub, PackageChecksum) {
  for (bool checked : {false, true}) {
    fs::remove_all(out());
    fs::create_directories(out());
    PackageBuilder builder = package();
    builder.record("name.txt", packlib::deflate_stream(bytes_of("x"))).trailer();
    if (checked)
      builder.seal_checksum();
    builder.bytes()[builder.package_offset() + layout::header_size + 5] ^= 0x01; // "oame.txt"
    Result result = run(builder.bytes());
    EXPECT_EQ(result.warning(), checked ? "File check error(2)!" : "") << checked;
    EXPECT_EQ(result.exit_code, checked ? 1 : 0);
    EXPECT_EQ(fs::exists(out() / "oame.txt"), !checked);
  }
}

// The variables that give Wine code page 932: a Japanese locale generated
// once into a directory of the test run's own.
std::vector<std::string> japanese_code_page() {
  static const std::string locales = [] {
    char pattern[] = "/tmp/sfx-locale.XXXXXX";
    std::string made = ::mkdtemp(pattern);
    std::system(("localedef -i ja_JP -f UTF-8 '" + made + "/ja_JP.UTF-8' >/dev/null 2>&1").c_str());
    return made;
  }();
  return {"LOCPATH=" + locales, "LC_ALL=ja_JP.UTF-8"};
}

// On East Asian Windows a backslash byte may be the second half of a
// character (表 is 95 5C in code page 932): names and the target are walked
// a character at a time, in ANSI packages and in UTF-8 ones alike.
TEST_P(Stub, DoubleByteCodePage) {
  if (!is_wine(GetParam()))
    GTEST_SKIP() << "POSIX names are bytes";
  ASSERT_TRUE(fs::exists(japanese_code_page()[0].substr(8) + "/ja_JP.UTF-8"));
  const std::string table = "\x88\xEA\x97\x97\x95\x5C", ten = "\x8F\x5C", so = "\x83\x5C";
  PackageBuilder ansi = package();
  ansi.record(table + "\\file.txt", packlib::deflate_stream(bytes_of("list")))
      .record(ten + "\\a\\b.txt", packlib::deflate_stream(bytes_of("ten")))
      .record(so + ".txt", packlib::deflate_stream(bytes_of("so")))
      .trailer();
  PackageBuilder utf8 = package();
  utf8.record("\xE4\xB8\x80\xE8\xA6\xA7\xE8\xA1\xA8\\utf.txt",
              packlib::deflate_stream(bytes_of("u")))
      .trailer()
      .options(layout::option_utf8);
  // The target ends in 表 as well; a file of the same name is there already.
  fs::path target = out() / "\u8868";
  fs::create_directories(target / "\u4E00\u89A7\u8868");
  harness::write_text(target / "\u4E00\u89A7\u8868" / "file.txt", "old");
  for (const Bytes* file : {&ansi.bytes(), &utf8.bytes()}) {
    packlib::write_whole_file(installer_, *file);
    Result result = runner_.run(installer_, {runner_.path_argument(target)}, japanese_code_page());
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_TRUE(result.boxes.empty()) << result.warning();
  }
  EXPECT_EQ(harness::read_text(target / "\u4E00\u89A7\u8868" / "file.txt"), "list");
  EXPECT_EQ(harness::read_text(target / "\u5341" / "a" / "b.txt"), "ten");
  EXPECT_EQ(harness::read_text(target / "\u30BD.txt"), "so");
  EXPECT_EQ(harness::read_text(target / "\u4E00\u89A7\u8868" / "utf.txt"), "u");
  // Nothing beside them: no stray directory of the first half of a name.
  EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 1);
}

// Windows 9x names files by path alone: an existing file is moved aside,
// replaced and the old one removed, a read-only one kept, and nothing of
// the temporary names is left.
TEST_P(Stub, Windows9xReplacesFilesWhole) {
  if (GetParam() != Platform::wine32)
    GTEST_SKIP() << "the i686 stub is the one that runs on Windows 9x";
  auto version = [&](const char* name) {
    runner_.run("reg", {"add", "HKCU\\Software\\Wine", "/v", "Version", "/d", name, "/f"});
  };
  version("win98");
  fs::create_directories(out() / "d");
  harness::write_text(out() / "a.txt", "old");
  harness::write_text(out() / "ro.txt", "kept");
  fs::permissions(out() / "ro.txt", fs::perms::owner_read);
  PackageBuilder builder = package();
  builder.record("a.txt", packlib::deflate_stream(bytes_of("new")))
      .record("d\\b.txt", packlib::deflate_stream(bytes_of("deep")))
      .trailer();
  Result replaced = run(builder.bytes());
  PackageBuilder read_only = package();
  read_only.record("ro.txt", packlib::deflate_stream(bytes_of("new"))).trailer();
  Result refused = run(read_only.bytes());
  version("win10");
  EXPECT_TRUE(replaced.boxes.empty()) << replaced.output;
  EXPECT_EQ(harness::read_text(out() / "a.txt"), "new");
  EXPECT_EQ(harness::read_text(out() / "d" / "b.txt"), "deep");
  EXPECT_EQ(refused.warning(), "File Output error(1)!");
  EXPECT_EQ(harness::read_text(out() / "ro.txt"), "kept");
  fs::permissions(out() / "ro.txt", fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 3);
}

// A zlib stream of `pieces` times 4 MiB of zeros, made quickly: after a
// full flush each further piece compresses to the same bytes; an empty
// final block and the check value close it.
Bytes zeros_stream(uint32_t pieces) {
  constexpr uint32_t piece_size = 4 << 20;
  Bytes zeros(piece_size, 0), piece(1 << 20), stream;
  z_stream deflater{};
  deflateInit(&deflater, 1);
  for (uint32_t round = 0; round < 2; ++round) {
    deflater.next_in = zeros.data();
    deflater.avail_in = piece_size;
    deflater.next_out = piece.data();
    deflater.avail_out = uInt(piece.size());
    deflate(&deflater, Z_FULL_FLUSH);
    Bytes produced(piece.begin(), piece.end() - long(deflater.avail_out));
    for (uint32_t copies = round == 0 ? 1 : pieces - 1; copies > 0; --copies)
      stream.insert(stream.end(), produced.begin(), produced.end());
  }
  deflateEnd(&deflater);
  uLong check = adler32(1, zeros.data(), piece_size);
  uLong whole = check;
  for (uint32_t i = 1; i < pieces; ++i)
    whole = adler32_combine(whole, check, piece_size);
  stream.insert(stream.end(), {0x03, 0x00, uint8_t(whole >> 24), uint8_t(whole >> 16),
                               uint8_t(whole >> 8), uint8_t(whole)});
  return stream;
}

// A file close to the format's 2 GiB limit extracts within the i686
// stub's address space: memory stays the same whatever the file's size.
TEST_P(Stub, LargeFileInFlatMemory) {
  if (GetParam() != Platform::wine32)
    GTEST_SKIP() << "the 32-bit stub's address space is what this tests";
  PackageBuilder builder = package();
  builder.record("big.bin", zeros_stream(486)).trailer(); // 1.9 GiB
  Result result = run(builder.bytes());
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  EXPECT_EQ(result.exit_code, 0);
  std::error_code ignored;
  EXPECT_EQ(fs::file_size(out() / "big.bin", ignored), uintmax_t(4 << 20) * 486);
  fs::remove(out() / "big.bin", ignored);
}

// Stopped by a signal while a file is written, the POSIX stub leaves
// neither the partial file nor its private directory, and ends as the
// signal ends it (SIGINT as the run-time error it has always been).
TEST_P(Stub, StoppedByASignalLeavesNothingHalfWritten) {
  if (GetParam() != Platform::posix)
    GTEST_SKIP() << "signals from outside are a POSIX matter";
  PackageBuilder builder = package();
  builder.record("big.bin", zeros_stream(256)).trailer(); // 1 GiB
  packlib::write_whole_file(installer_, builder.bytes());
  fs::path temp = work_ / "temp";
  for (const char* signal : {"TERM", "HUP", "INT"}) {
    for (bool private_target : {true, false}) {
      fs::remove_all(temp);
      fs::remove_all(out());
      fs::create_directories(temp);
      fs::create_directories(out());
      fs::path watched = private_target ? temp : out();
      std::string pattern =
          "'" + watched.string() + "'" + (private_target ? "/sfx*/sfx*.tmp" : "/sfx*.tmp");
      std::string command = "TMPDIR='" + temp.string() + "' '" + installer_.string() + "' " +
                            (private_target ? "" : "'" + out().string() + "'") +
                            " 2>/dev/null & for i in $(seq 1000); do ls " + pattern +
                            " >/dev/null 2>&1 && break; sleep 0.01; done; kill -" + signal +
                            " $!; wait $!; echo $? > '" + (work_ / "status").string() + "'";
      std::system(command.c_str());
      std::string status = harness::read_text(work_ / "status");
      EXPECT_EQ(status, std::string(signal) == "INT"    ? "217\n"
                        : std::string(signal) == "TERM" ? "143\n"
                                                        : "129\n")
          << signal;
      EXPECT_TRUE(fs::is_empty(watched))
          << signal << " " << private_target << ": " << fs::directory_iterator(watched)->path();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Platforms, Stub,
                         testing::Values(Platform::posix, Platform::wine, Platform::wine32),
                         [](const testing::TestParamInfo<Platform>& info) {
                           return platform_name(info.param);
                         });

} // namespace
} // namespace e2e
