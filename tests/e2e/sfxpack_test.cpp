// sfxpack as its users run it: round trips through the stub and through
// `extract`, reproducible output, refusals, `verify` and `list --json`.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "e2e/runner.h"
#include "harness/harness.h"
#include "package/format.h"
#include "package/pe_image.h"
#include "tools/packlib/compress.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/installer.h"
#include "tools/packlib/package.h"
#include "tools/packlib/sha256.h"

namespace e2e {
namespace {

using packlib::Bytes;

std::map<std::string, Bytes> tree_of(const fs::path& root) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = packlib::read_whole_file(entry.path());
  return files;
}

class Sfxpack : public testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(input() / "docs" / "deep dir");
    harness::write_text(input() / "readme.txt", "read me\n");
    harness::write_text(input() / "empty.txt", "");
    harness::write_text(input() / "docs" / "deep dir" / "notes with blanks.txt", "notes");
    Bytes binary(300000);
    for (size_t i = 0; i < binary.size(); ++i)
      binary[i] = uint8_t((i * 7919) >> 5);
    packlib::write_whole_file(input() / "docs" / "data.bin", binary);
  }

  Result pack(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "create");
    return runner_.run(tool(), arguments);
  }
  Result tool_run(const std::vector<std::string>& arguments) {
    return runner_.run(tool(), arguments);
  }

  fs::path tool() const { return fs::path(SFX_SOURCE_DIR) / "build/posix/bin/sfxpack"; }
  fs::path input() const { return work_ / "input"; }
  std::string stub() const { return runner_.stub().string(); }

  Runner runner_{Platform::posix};
  harness::TempDir work_;
};

TEST_F(Sfxpack, RoundTripsThroughTheStubAndExtract) {
  fs::path installer = work_ / "installer";
  Result packed = pack({"-o", installer.string(), "--stub", stub(), input().string()});
  ASSERT_EQ(packed.exit_code, 0) << packed.output;

  Result ran = runner_.run(installer, {(work_ / "by stub").string()});
  EXPECT_EQ(ran.exit_code, 0) << ran.output;
  Result extracted = tool_run({"extract", installer.string(), (work_ / "by tool").string()});
  EXPECT_EQ(extracted.exit_code, 0) << extracted.output;

  std::map<std::string, Bytes> original = tree_of(input());
  EXPECT_EQ(tree_of(work_ / "by stub"), original);
  EXPECT_EQ(tree_of(work_ / "by tool"), original);

  // Every level's streams inflate in the stub.
  for (int level = 0; level <= 12; ++level) {
    fs::path at_level = work_ / ("level" + std::to_string(level));
    ASSERT_EQ(pack({"-o", at_level.string(), "--stub", stub(), "--level", std::to_string(level),
                    input().string()})
                  .exit_code,
              0);
    EXPECT_EQ(runner_.run(at_level, {(work_ / ("out" + std::to_string(level))).string()}).exit_code,
              0);
    EXPECT_EQ(tree_of(work_ / ("out" + std::to_string(level))), original) << level;
  }

  // Extracting again over planted entries: a hard link at a file's name is
  // replaced, not written through; a directory link below the target is
  // refused.
  fs::path again = work_ / "again";
  fs::create_directories(again);
  harness::write_text(work_ / "shared.txt", "keep");
  fs::create_hard_link(work_ / "shared.txt", again / "readme.txt");
  EXPECT_EQ(tool_run({"extract", installer.string(), again.string()}).exit_code, 0);
  EXPECT_EQ(harness::read_text(again / "readme.txt"), "read me\n");
  EXPECT_EQ(harness::read_text(work_ / "shared.txt"), "keep");
  fs::create_directories(work_ / "outside");
  fs::remove_all(again / "docs");
  fs::create_directory_symlink(work_ / "outside", again / "docs");
  Result through_link = tool_run({"extract", installer.string(), again.string()});
  EXPECT_NE(through_link.exit_code, 0);
  EXPECT_NE(through_link.output.find("link"), std::string::npos) << through_link.output;
  EXPECT_TRUE(fs::is_empty(work_ / "outside"));
}

TEST_F(Sfxpack, OutputIsReproducible) {
  fs::path first = work_ / "first", second = work_ / "second";
  ASSERT_EQ(pack({"-o", first.string(), "--stub", stub(), "--run", "x %path%", input().string()})
                .exit_code,
            0);
  harness::write_text(input() / "readme.txt", "read me\n"); // a new time, the same bytes
  ASSERT_EQ(pack({"-o", second.string(), "--stub", stub(), "--run", "x %path%", input().string()})
                .exit_code,
            0);
  EXPECT_TRUE(packlib::read_whole_file(first) == packlib::read_whole_file(second));
  // Packed through bounded memory, the installer is byte for byte what the
  // package library builds from whole files.
  std::vector<packlib::StoredFile> files;
  for (const auto& [name, content] : tree_of(input())) {
    std::string stored = name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    files.push_back({stored, packlib::compress_stream(content)});
  }
  std::sort(
      files.begin(), files.end(),
      [](const packlib::StoredFile& a, const packlib::StoredFile& b) { return a.name < b.name; });
  EXPECT_TRUE(
      packlib::build_installer(packlib::read_whole_file(stub()), files, std::string("x %path%"),
                               layout::option_checksum | layout::option_checksum_header |
                                   layout::option_command_line) == packlib::read_whole_file(first));
}

TEST_F(Sfxpack, ListAndVerify) {
  fs::path installer = work_ / "installer";
  ASSERT_EQ(pack({"-o", installer.string(), "--stub", stub(), "--run", "setup \"%path%\"",
                  input().string()})
                .exit_code,
            0);
  Result json = tool_run({"list", "--json", installer.string()});
  ASSERT_EQ(json.exit_code, 0) << json.output;
  std::regex record(R"re(\{"name":"((?:[^"\\]|\\.)*)","stored":(\d+),"size":(\d+)\})re");
  std::map<std::string, size_t> sizes;
  for (std::sregex_iterator it(json.standard_output.begin(), json.standard_output.end(), record),
       end;
       it != end; ++it)
    sizes[(*it)[1]] = std::stoul((*it)[3]);
  std::map<std::string, size_t> expected = {{"docs\\\\data.bin", 300000},
                                            {"docs\\\\deep dir\\\\notes with blanks.txt", 5},
                                            {"empty.txt", 0},
                                            {"readme.txt", 8}};
  EXPECT_EQ(sizes, expected) << json.standard_output;
  EXPECT_NE(json.standard_output.find(R"("run":"setup \"%path%\"")"), std::string::npos);
  EXPECT_EQ(tool_run({"verify", installer.string()}).exit_code, 0);
  // For people a header row and rounded sizes; --bytes the exact ones; JSON
  // the file's digest.
  Bytes whole = packlib::read_whole_file(installer);
  packlib::Sha256 digest;
  digest.add(whole.data(), whole.size());
  EXPECT_NE(json.standard_output.find("\"sha256\":\"" + digest.hex() + "\""), std::string::npos);
  std::string people = tool_run({"list", installer.string()}).standard_output;
  std::string exact = tool_run({"list", "--bytes", installer.string()}).standard_output;
  EXPECT_EQ(people.rfind("      stored         size  name\n", 0), 0u) << people;
  EXPECT_NE(people.find("    300.0 kB  docs\\data.bin"), std::string::npos) << people;
  EXPECT_NE(exact.find("      300000  docs\\data.bin"), std::string::npos) << exact;

  Bytes bytes = packlib::read_whole_file(installer);
  packlib::Listing listing = packlib::read_installer(bytes);
  Bytes in_stream = bytes;
  in_stream[listing.files[0].stream_offset + listing.files[0].stored_size / 2] ^= 1;
  packlib::write_whole_file(work_ / "bad stream", in_stream);
  Result bad_stream = tool_run({"verify", (work_ / "bad stream").string()});
  EXPECT_EQ(bad_stream.exit_code, 1);
  EXPECT_NE(bad_stream.output.find("checksum does not match"), std::string::npos)
      << bad_stream.output;
  // Without the checksum the damage is found in the stream itself.
  fs::path unchecked = work_ / "unchecked";
  ASSERT_EQ(pack({"-o", unchecked.string(), "--no-checksum", "--stub", stub(), input().string()})
                .exit_code,
            0);
  Bytes plain = packlib::read_whole_file(unchecked);
  packlib::Listing plain_listing = packlib::read_installer(plain);
  plain[plain_listing.files[0].stream_offset + plain_listing.files[0].stored_size / 2] ^= 1;
  packlib::write_whole_file(unchecked, plain);
  Result damaged = tool_run({"verify", unchecked.string()});
  EXPECT_NE(damaged.output.find("damaged stream: " + plain_listing.files[0].name),
            std::string::npos)
      << damaged.output;

  EXPECT_EQ(bytes.size() % 8, 0u); // so that signing adds nothing behind the trailer
  EXPECT_NE(json.standard_output.find(R"("signed":false)"), std::string::npos);

  // A signed installer is read as before and said to carry a signature.
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  fs::path windows = work_ / "windows.exe", signed_windows = work_ / "signed.exe";
  if (fs::exists(windows_stub) &&
      pack({"-o", windows.string(), "--stub", windows_stub.string(), input().string()}).exit_code ==
          0 &&
      sign(windows, signed_windows)) {
    Result verified = tool_run({"verify", signed_windows.string()});
    EXPECT_EQ(verified.exit_code, 0) << verified.output;
    EXPECT_NE(verified.standard_output.find("signed"), std::string::npos);
    Result signed_json = tool_run({"list", "--json", signed_windows.string()});
    EXPECT_NE(signed_json.standard_output.find(R"("signed":true)"), std::string::npos);
  }

  Bytes in_stub = bytes;
  in_stub[listing.package_offset / 2] ^= 1;
  packlib::write_whole_file(work_ / "bad stub", in_stub);
  Result bad_stub = tool_run({"verify", (work_ / "bad stub").string()});
  EXPECT_EQ(bad_stub.exit_code, 1);
  EXPECT_NE(bad_stub.output.find("seal"), std::string::npos) << bad_stub.output;

  // Names and commands from a package cannot forge lines of the listing,
  // and JSON holds only well-formed UTF-8: overlong forms, surrogates and
  // bytes past U+10FFFF are escaped byte by byte.
  packlib::PackageBuilder forged(packlib::read_whole_file(stub()));
  Bytes stream = packlib::deflate_stream(Bytes{'x'});
  forged.header()
      .record("a\nrun: rm -rf /", stream)
      .record("\xC0\xAF", stream)
      .record("\xED\xA0\x80", stream)
      .record("\xF4\x90\x80\x80", stream)
      .record("c1\x9B", stream)
      .record("c1\xC2\x9B", stream)
      .record("bidi\xE2\x80\xAEtxt.exe", stream)
      .record("esc\x1B[2J", stream)
      .record("caf\xE9", stream)
      .record("caf\xC3\xA9", stream)
      .run("go\r\nrun: other")
      .trailer();
  fs::path forged_file = work_ / "forged";
  packlib::write_whole_file(forged_file, forged.bytes());
  Result text = tool_run({"list", forged_file.string()});
  EXPECT_EQ(text.standard_output.find("\nrun: rm"), std::string::npos) << text.standard_output;
  EXPECT_EQ(text.standard_output.find("\nrun: other"), std::string::npos) << text.standard_output;
  EXPECT_NE(text.standard_output.find("a\\x0Arun: rm -rf /"), std::string::npos);
  // Nothing that moves the cursor or turns the text around reaches the
  // terminal: C0, C1 as a byte and as a character, bidirectional controls.
  for (const char* raw : {"\x9B", "\xC2\x9B", "\xE2\x80\xAE", "\x1B"})
    EXPECT_EQ(text.standard_output.find(raw), std::string::npos) << text.standard_output;
  for (const char* escaped : {"c1\\x9B", "c1\\u009B", "bidi\\u202Etxt.exe", "esc\\x1B[2J"})
    EXPECT_NE(text.standard_output.find(escaped), std::string::npos) << escaped;
  // The tool refuses what the stub refuses, with the stub's own message:
  // bytes behind a stream's end, two streams in one, names that name no file.
  Bytes trailing = stream;
  trailing.push_back(0);
  Bytes twice = stream;
  twice.insert(twice.end(), stream.begin(), stream.end());
  for (const Bytes& damaged : {trailing, twice}) {
    packlib::PackageBuilder refused(packlib::read_whole_file(stub()));
    packlib::write_whole_file(forged_file,
                              refused.header().record("a.txt", damaged).trailer().bytes());
    EXPECT_NE(tool_run({"verify", forged_file.string()}).output.find("File Decompress error(1)!"),
              std::string::npos);
  }
  for (const char* name : {"", ".", "a\\", "a\\."}) {
    packlib::PackageBuilder refused(packlib::read_whole_file(stub()));
    packlib::write_whole_file(forged_file, refused.header().record(name, stream).trailer().bytes());
    Result verdict = tool_run({"verify", forged_file.string()});
    EXPECT_NE(verdict.output.find("File Output error(1)!"), std::string::npos)
        << name << ": " << verdict.output;
  }
  packlib::write_whole_file(forged_file, forged.bytes());
  Result forged_json = tool_run({"list", "--json", forged_file.string()});
  for (const char* escaped :
       {"\\u00c0\\u00af", "\\u00ed\\u00a0\\u0080", "\\u00f4\\u0090\\u0080\\u0080",
        "go\\u000d\\u000a", "c1\\u009b", "bidi\\u202etxt.exe",
        R"("name":"caf\u00e9","name_bytes":"636166e9")", "\"name\":\"caf\xC3\xA9\",\"stored\""})
    EXPECT_NE(forged_json.standard_output.find(escaped), std::string::npos)
        << escaped << ": " << forged_json.standard_output;
}

TEST_F(Sfxpack, Refusals) {
  fs::path out = work_ / "out";
  auto refused = [&](const std::vector<std::string>& arguments, const std::string& reason) {
    Result result = pack(arguments);
    EXPECT_NE(result.exit_code, 0) << reason;
    EXPECT_NE(result.output.find(reason), std::string::npos) << result.output;
    // A usage error (exit 2) adds where help is; warnings may come first.
    std::string lines = std::regex_replace(result.output, std::regex("sfxpack: warning:.*\n"), "");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), result.exit_code == 2 ? 2 : 1)
        << result.output;
    EXPECT_FALSE(fs::exists(out)) << reason;
  };
  refused({"-o", out.string(), "--stub", stub(), "--run", std::string(255, 'c'), input().string()},
          "setup command longer than 254 bytes");
  refused({"-o", out.string(), "--stub", "/bin/true", input().string()}, "not a sealed stub");
  refused({"-o", out.string(), "--stub", stub(), "--split", "1M", input().string()},
          "cannot be the head of a split set");
  refused({"-o", out.string(), "--stub", stub(), (work_ / "nowhere").string()},
          "no such file or directory");
  refused({"-o", (work_ / "nowhere" / "o.run").string(), "--stub", stub(), input().string()},
          "no directory " + (work_ / "nowhere").string() + " to write it into");
  refused({"-o", out.string(), "--sums", (work_ / "nowhere" / "sums").string(), "--stub", stub(),
           input().string()},
          "no directory " + (work_ / "nowhere").string() + " to write it into");

  fs::path odd = work_ / "odd";
  fs::create_directories(odd / std::string(200, 'd'));
  harness::write_text(odd / std::string(200, 'd') / std::string(60, 'f'), "x");
  refused({"-o", out.string(), "--stub", stub(), odd.string()}, "longer than 253 bytes");

  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  if (fs::exists(windows_stub)) {
    refused({"-o", out.string(), "--stub", windows_stub.string(), "--split", "1", input().string()},
            "at most 200 are allowed");
    refused({"-o", out.string(), "--stub", windows_stub.string(), "--target", "posix",
             input().string()},
            "a Windows stub, not one for --target posix");
    // A file name's controls reach the terminal escaped.
    fs::path controls = work_ / "controls";
    fs::create_directories(controls);
    harness::write_text(controls / "esc\x1B[2J\xE2\x80\xAE", "x");
    refused({"-o", out.string(), "--stub", windows_stub.string(), controls.string()},
            "esc\\x1B[2J\\u202E");
    EXPECT_EQ(pack({"-o", out.string(), "--stub", windows_stub.string(), controls.string()})
                  .output.find_first_of("\x1B"),
              std::string::npos);
  }
  refused({"-o", out.string(), "--stub", stub(), "--target", "win64", input().string()},
          "an ELF stub, not one for --target win64");
}

TEST_F(Sfxpack, SplitSetsJoinToTheInstaller) {
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  if (!fs::exists(windows_stub))
    GTEST_SKIP() << "no win64 stub built";
  fs::path whole = work_ / "whole.exe", head = work_ / "set" / "head.exe";
  fs::create_directories(head.parent_path());
  ASSERT_EQ(
      pack({"-o", whole.string(), "--stub", windows_stub.string(), input().string()}).exit_code, 0);
  fs::path sums = work_ / "sums.txt";
  ASSERT_EQ(pack({"-o", head.string(), "--stub", windows_stub.string(), "--split", "20K", "--sums",
                  sums.string(), input().string()})
                .exit_code,
            0);
  // The digests check the set wherever it is moved.
  fs::copy(head.parent_path(), work_ / "moved");
  fs::copy(sums, work_ / "moved" / "sums.txt");
  std::string check =
      "cd '" + (work_ / "moved").string() + "' && sha256sum -c --strict --quiet sums.txt";
  EXPECT_EQ(std::system(check.c_str()), 0);
  // Each PE file written, installer or head, carries the checksum of its
  // own bytes.
  for (const fs::path& file : {whole, head}) {
    Bytes bytes = packlib::read_whole_file(file);
    PeFields fields = pe_fields(bytes.data(), uint32_t(bytes.size()));
    ASSERT_TRUE(fields.valid);
    EXPECT_EQ(load_u32(&bytes[fields.checksum]),
              pe_checksum(bytes.data(), uint32_t(bytes.size()), fields))
        << file;
  }
  Bytes expected = packlib::read_whole_file(whole);
  Bytes joined = packlib::read_whole_file(head);
  int32_t count = 0;
  EXPECT_TRUE(is_split_set_header(&joined[layout::split_set_offset], &count));
  joined[128] = 0;
  for (int32_t i = 1; i < count; ++i) {
    std::string name = packlib::volume_name(head.string(), int(i));
    Bytes volume = packlib::read_whole_file(name);
    EXPECT_LE(volume.size(), 20u * 1024);
    // Only the head runs.
    EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    joined.insert(joined.end(), volume.begin(), volume.end());
  }
  expected[128] = 0;
  std::copy(joined.begin() + 129, joined.begin() + 136, expected.begin() + 129);
  uint32_t field = pe_fields(expected.data(), uint32_t(expected.size())).checksum;
  std::copy_n(joined.begin() + field, 4, expected.begin() + field);
  EXPECT_TRUE(joined == expected);
  EXPECT_EQ(tool_run({"verify", head.string()}).exit_code, 0);
  Result json = tool_run({"list", "--json", head.string()});
  EXPECT_NE(json.standard_output.find("\"volumes\":[\"" + packlib::volume_name(head.string(), 1)),
            std::string::npos)
      << json.standard_output;
  // A volume points at its head; a download cut short says how much is
  // missing, naming the file.
  std::string volume = packlib::volume_name(head.string(), 1);
  Result of_volume = tool_run({"list", volume});
  EXPECT_EQ(of_volume.exit_code, 1);
  EXPECT_NE(of_volume.output.find(volume + ": a volume of a split set"), std::string::npos)
      << of_volume.output;
  Bytes whole_file = packlib::read_whole_file(whole);
  fs::path cut = work_ / "cut.exe";
  packlib::write_whole_file(cut, std::span(whole_file).first(whole_file.size() - 1000));
  Result of_cut = tool_run({"list", cut.string()});
  EXPECT_EQ(of_cut.exit_code, 1);
  EXPECT_NE(of_cut.output.find(cut.string() + ": truncated: at least "), std::string::npos)
      << of_cut.output;
  // Bytes added behind a whole installer are told as such; a volume is not
  // taken for an unsealed stub.
  whole_file.insert(whole_file.end(), {1, 2, 3, 4});
  packlib::write_whole_file(cut, whole_file);
  EXPECT_NE(tool_run({"list", cut.string()}).output.find("4 bytes appended behind"),
            std::string::npos);
  Result volume_verified = tool_run({"verify", volume});
  EXPECT_EQ(volume_verified.output.find("seal"), std::string::npos) << volume_verified.output;
  EXPECT_NE(volume_verified.output.find("a volume of a split set"), std::string::npos);
  // A volume that leads to a device is refused by its name, never read
  // without end.
  fs::rename(volume, work_ / "kept.F01");
  fs::create_symlink("/dev/zero", volume);
  Result endless = tool_run({"list", head.string()});
  EXPECT_NE(endless.output.find(volume + ": not a regular file"), std::string::npos)
      << endless.output;
  fs::remove(volume);
  fs::rename(work_ / "kept.F01", volume);
  // A file system's own error names the path first.
  Result unwritable = tool_run({"extract", whole.string(), "/proc/sfx-nowhere"});
  EXPECT_EQ(unwritable.exit_code, 1);
  EXPECT_EQ(unwritable.output.find("filesystem error"), std::string::npos) << unwritable.output;
  EXPECT_NE(unwritable.output.find("/proc/sfx-nowhere: "), std::string::npos);

  // A second, shorter set takes away the volumes of the first; a head named
  // from elsewhere gets its volumes beside it; a head without an extension
  // would have the stub look for its volumes elsewhere.
  harness::write_text(work_ / "set" / "head.F7E", "stale");
  ASSERT_EQ(pack({"-o", head.string(), "--stub", windows_stub.string(), "--split", "200K",
                  input().string()})
                .exit_code,
            0);
  EXPECT_FALSE(fs::exists(packlib::volume_name(head.string(), 2)));
  EXPECT_FALSE(fs::exists(work_ / "set" / "head.F7E"));
  EXPECT_EQ(tool_run({"verify", head.string()}).exit_code, 0);
  fs::create_directories(work_ / "dotted.dir" / "sub");
  Result no_extension = pack({"-o", (work_ / "dotted.dir" / "setup").string(), "--stub",
                              windows_stub.string(), "--split", "20K", input().string()});
  EXPECT_NE(no_extension.exit_code, 0);
  EXPECT_NE(no_extension.output.find("needs an extension"), std::string::npos);
}

// Installed into a prefix of its own and started through a link from PATH
// in an unrelated directory, the tool finds the stubs installed with it; a
// CMake project builds an installer with the installed package.
TEST_F(Sfxpack, InstalledToolFindsItsStubs) {
  fs::path prefix = work_ / "prefix", elsewhere = work_ / "elsewhere";
  std::string install = "cmake --install '" + std::string(SFX_SOURCE_DIR) +
                        "/build/posix' --prefix '" + prefix.string() + "' >/dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  EXPECT_TRUE(fs::exists(prefix / "share/man/man1/sfxpack.1.gz"));
  EXPECT_TRUE(fs::exists(prefix / "share/doc/sfxstub/copyright"));
  fs::create_directories(elsewhere / "bin");
  fs::create_symlink(prefix / "bin/sfxpack", elsewhere / "bin/sfxpack");
  std::error_code ignored;
  fs::path before = fs::current_path(ignored);
  fs::current_path(elsewhere);
  std::string path = "PATH=" + (elsewhere / "bin").string() + ":/usr/bin:/bin";
  for (const char* target : {"posix", "win64"}) {
    if (!fs::exists(
            prefix / "lib/sfxstub" /
            (std::string("stub-") + target + (target == std::string("posix") ? "" : ".exe"))))
      continue;
    std::string out = std::string("out-") + target;
    Result packed = runner_.run(
        "/bin/sh",
        {"-c", "sfxpack create -o " + out + " --target " + target + " '" + input().string() + "'"},
        {path});
    EXPECT_EQ(packed.exit_code, 0) << target << packed.output;
    EXPECT_EQ(tool_run({"verify", (elsewhere / out).string()}).exit_code, 0) << target;
  }
  fs::current_path(before);

  // A project finds the package and packs its files at build time, again
  // when one is added or removed, with either generator; the output's
  // directory is made; the options have keywords of their own, and an
  // unknown keyword is refused rather than packed.
  fs::path project = work_ / "project";
  fs::create_directories(project / "payload");
  harness::write_text(project / "payload" / "setup.sh", "#!/bin/sh\n");
  harness::write_text(project / "payload" / "skip.tmp", "x");
  auto write_project = [&](const std::string& extra) {
    harness::write_text(
        project / "CMakeLists.txt",
        "cmake_minimum_required(VERSION 3.20)\n"
        "project(tiny NONE)\n"
        "find_package(sfxstub 1 REQUIRED)\n"
        "sfxstub_add_installer(setup TARGET posix RUN \"setup.sh x\" INPUTS payload " +
            extra + " LEVEL 9 WAIT EXCLUDE *.tmp OUTPUT out/setup.run)\n");
  };
  auto configure = [&](const char* generator, const fs::path& binary) {
    return "cmake -S '" + project.string() + "' -B '" + binary.string() + "' -G '" + generator +
           "' -DCMAKE_PREFIX_PATH='" + prefix.string() + "' >/dev/null 2>&1";
  };
  write_project("BOGUS");
  EXPECT_NE(std::system(configure("Ninja", project / "bogus").c_str()), 0);
  write_project("");
  for (const char* generator : {"Ninja", "Unix Makefiles"}) {
    fs::path binary = project / (std::string("b-") + generator[0]);
    fs::path installer = binary / "out" / "setup.run";
    std::string build = configure(generator, binary) + " && cmake --build '" + binary.string() +
                        "' >/dev/null 2>&1";
    auto files = [&]() {
      Result listed = tool_run({"list", "--json", installer.string()});
      EXPECT_NE(listed.standard_output.find("\"run\":\"setup.sh x\""), std::string::npos);
      EXPECT_NE(listed.standard_output.find("\"wait\":true"), std::string::npos);
      std::smatch count;
      std::regex_search(listed.standard_output, count,
                        std::regex("\"totals\":\\{\"files\":(\\d+)"));
      return count.size() > 1 ? std::stoi(count[1]) : -1;
    };
    ASSERT_EQ(std::system(build.c_str()), 0) << generator;
    EXPECT_EQ(files(), 1) << generator;
    // File times tick coarsely: the new file is made plainly newer than
    // the installer, as it would be in real use.
    harness::write_text(project / "payload" / "added.txt", "x");
    fs::last_write_time(project / "payload" / "added.txt",
                        fs::last_write_time(installer) + std::chrono::seconds(1));
    ASSERT_EQ(std::system(build.c_str()), 0);
    EXPECT_EQ(files(), 2) << generator;
    fs::remove(project / "payload" / "added.txt");
    ASSERT_EQ(std::system(build.c_str()), 0);
    EXPECT_EQ(files(), 1) << generator;
  }
}

TEST_F(Sfxpack, ReleaseFiles) {
  fs::path dist = work_ / "dist";
  std::string make =
      std::string(SFX_SOURCE_DIR) + "/tools/make-dist.sh '" + dist.string() + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0)
    GTEST_SKIP() << "make-dist.sh failed: the Windows builds are missing";
  std::string version = tool_run({"--version"}).standard_output.substr(8);
  version.pop_back();
  std::string folder = "sfxstub-" + version + "-windows";
  fs::path zip = dist / (folder + ".zip");
  ASSERT_TRUE(fs::exists(zip));
  ASSERT_TRUE(fs::exists(dist / ("sfxstub_" + version + "_amd64.deb")));
  ASSERT_TRUE(fs::exists(dist / ("sfxstub-" + version + "-linux-x86_64.tar.gz")));
  Result listed = runner_.run("/usr/bin/python3", {"-c",
                                                   "import sys, zipfile\n"
                                                   "print(' '.join(sorted(zipfile.ZipFile("
                                                   "sys.argv[1]).namelist())))",
                                                   zip.string()});
  std::string names;
  for (const char* name : {"COPYRIGHT.txt", "LICENSE.txt", "README.md", "sfxpack.exe", "stub-posix",
                           "stub-win32.exe", "stub-win64.exe"})
    names += (names.empty() ? "" : " ") + folder + "/" + name;
  EXPECT_EQ(listed.standard_output, names + "\n");

  Runner wine32(Platform::wine32);
  if (wine32.available()) {
    ASSERT_EQ(runner_
                  .run("/usr/bin/python3",
                       {"-m", "zipfile", "-e", zip.string(), (work_ / "unzipped").string()})
                  .exit_code,
              0);
    fs::path tool_exe = work_ / "unzipped" / folder / "sfxpack.exe", out = work_ / "zip.exe";
    Result packed =
        wine32.run(tool_exe, {"create", "-q", "--target", "win64", "-o", wine32.path_argument(out),
                              wine32.path_argument(input())});
    EXPECT_EQ(packed.exit_code, 0) << packed.output;
    EXPECT_EQ(tool_run({"verify", out.string()}).exit_code, 0);
  }
  if (fs::exists("/usr/bin/lintian")) {
    Result lintian =
        runner_.run("/usr/bin/lintian", {(dist / ("sfxstub_" + version + "_amd64.deb")).string()});
    EXPECT_EQ(lintian.exit_code, 0) << lintian.output;
    EXPECT_EQ(lintian.output.find("E: "), std::string::npos) << lintian.output;
  }
}

// sfxpack.exe opens files through the wide-character API with UTF-8
// inside: a name outside ASCII packs to the same bytes as on Linux.
TEST_F(Sfxpack, WindowsBuildPacksTheSameBytes) {
  Runner wine(Platform::wine);
  fs::path tool_exe = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/sfxpack.exe";
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  if (!wine.available() || !fs::exists(tool_exe))
    GTEST_SKIP() << "no Wine prefix or no Windows build of sfxpack";
  harness::write_text(input() / "docs" /
                          "Gr\xC3\xBC\xC3\x9F"
                          "e.txt",
                      "utf-8");
  fs::path linux_out = work_ / "linux.exe", windows_out = work_ / "windows.exe";
  ASSERT_EQ(
      pack({"-o", linux_out.string(), "--stub", windows_stub.string(), input().string()}).exit_code,
      0);
  Result packed =
      wine.run(tool_exe, {"create", "--quiet", "-o", wine.path_argument(windows_out), "--stub",
                          wine.path_argument(windows_stub), wine.path_argument(input())});
  ASSERT_EQ(packed.exit_code, 0) << packed.output;
  EXPECT_TRUE(packlib::read_whole_file(linux_out) == packlib::read_whole_file(windows_out));
}

// SIGTERM while packing leaves neither a partial installer nor spool files.
TEST_F(Sfxpack, StoppedPackingLeavesNothing) {
  fs::path big = work_ / "big" / "noise.bin", out = work_ / "stopped" / "out";
  fs::create_directories(big.parent_path());
  fs::create_directories(out.parent_path());
  // Incompressible, so that its stream goes to a spool file at once.
  Bytes noise(size_t(96) << 20);
  std::mt19937 random(7);
  for (uint8_t& byte : noise)
    byte = uint8_t(random());
  packlib::write_whole_file(big, noise);
  std::string command = "'" + tool().string() + "' create --quiet --level 9 -o '" + out.string() +
                        "' --stub '" + stub() + "' '" + big.parent_path().string() +
                        "' & sleep 0.5; kill -TERM $!; wait";
  std::system(command.c_str());
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(fs::is_empty(out.parent_path())) << fs::directory_iterator(out.parent_path())->path();

  // Spool and temporary names that someone planted beside the output are
  // never used: nothing is written through their links.
  harness::write_text(work_ / "victim", "keep");
  fs::create_directories(out.string() + ".spool");
  fs::create_symlink(work_ / "victim", out.string() + ".spool/0");
  fs::create_symlink(work_ / "victim", out.string() + ".part");
  Result packed = pack({"--quiet", "--level", "1", "-o", out.string(), "--stub", stub(),
                        big.parent_path().string()});
  EXPECT_EQ(packed.exit_code, 0) << packed.output;
  EXPECT_EQ(harness::read_text(work_ / "victim"), "keep");
  EXPECT_EQ(tool_run({"verify", "--quiet", out.string()}).exit_code, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(out.parent_path()), fs::directory_iterator()), 3);
}

// What stands at the output's name, a link to a set-id program included,
// is replaced, never followed: the installer gets the fixed mode of a
// program, the volumes that of data, less the umask and never a set-id
// bit, and the link's target stays as it was.
TEST_F(Sfxpack, OutputModeIsFixedAndNeverFollowed) {
  fs::path victim = work_ / "victim", out = work_ / "set.bin";
  harness::write_text(victim, "keep");
  fs::permissions(victim, fs::perms(06755));
  fs::create_symlink(victim, out);
  fs::create_symlink(victim, work_ / "set.F01");
  fs::create_symlink(victim, work_ / "sums");
  Bytes noise(200000);
  std::mt19937 random(3);
  for (uint8_t& byte : noise)
    byte = uint8_t(random());
  packlib::write_whole_file(input() / "noise.bin", noise); // enough for a volume
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  Result packed =
      pack({"--quiet", "--split", "75K", "-o", out.string(), "--stub", windows_stub.string(),
            "--sums", (work_ / "sums").string(), input().string()});
  ASSERT_EQ(packed.exit_code, 0) << packed.output;
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(harness::read_text(victim), "keep");
  EXPECT_EQ(fs::status(victim).permissions(), fs::perms(06755));
  for (const auto& [piece, mode] : {std::pair{out, 0755}, std::pair{work_ / "set.F01", 0644},
                                    std::pair{work_ / "sums", 0644}}) {
    EXPECT_FALSE(fs::is_symlink(piece)) << piece;
    EXPECT_EQ(fs::status(piece).permissions(), fs::perms(mode & ~mask)) << piece;
  }
  // Whoever swaps the temporary for a link while it is written redirects
  // nothing: the checksum, the mode and the digest act on the open file.
  Bytes stub_bytes = packlib::read_whole_file(windows_stub);
  packlib::InstallerWriter writer({work_ / "raced.exe"}, {stub_bytes.size()});
  writer.keep_pe_checksum(pe_fields(stub_bytes.data(), uint32_t(stub_bytes.size())).checksum);
  writer.write(stub_bytes.data(), stub_bytes.size());
  fs::path part = packlib::temporary_name(work_ / "raced.exe");
  fs::rename(part, work_ / "taken");
  fs::create_symlink(victim, part);
  writer.finish();
  EXPECT_EQ(harness::read_text(victim), "keep");
  EXPECT_EQ(fs::status(victim).permissions(), fs::perms(06755));
  EXPECT_EQ(fs::status(work_ / "taken").permissions(), fs::perms(0755 & ~mask));
  EXPECT_EQ(writer.digests()[0], packlib::sha256_of_file(work_ / "taken"));
}

// An input swapped after the gathering checked it, for a link to someone
// else's file or for another file renamed over it, is "changed while
// packing" and never packed; the file that was checked packs at every
// level.
TEST_F(Sfxpack, InputSwappedAfterItsCheckIsRefused) {
  fs::path file = input() / "readme.txt";
  harness::write_text(work_ / "secret", "secret\n");
  for (int swap = 0; swap < 3; ++swap) {
    harness::write_text(file, "read me\n");
    packlib::SourceFile source{"readme.txt", file, {}};
    ASSERT_TRUE(packlib::identify_input(file, false, &source.seen));
    fs::rename(file, work_ / "moved");
    if (swap == 0)
      fs::create_symlink(work_ / "secret", file);
    else if (swap == 1)
      fs::copy_file(work_ / "secret", file);
    else
      fs::rename(work_ / "moved", file); // the same file back: no change
    for (int level : {6, 12}) {
      packlib::Spool spool(work_ / "out");
      std::string error;
      try {
        packlib::compress_inputs({source}, level, spool, [](uint64_t) {});
      } catch (const std::exception& thrown) {
        error = thrown.what();
      }
      EXPECT_EQ(error.find("changed while packing") != std::string::npos, swap != 2)
          << swap << " " << level << ": " << error;
    }
    fs::remove(file);
  }
}

TEST_F(Sfxpack, Conventions) {
  fs::path out = work_ / "out";
  struct Case {
    std::vector<std::string> words;
    int exit_code;
    std::string output; // expected in stdout, or in stderr for a failure
  };
  for (const Case& c : std::vector<Case>{
           {{"--version"}, 0, "sfxpack "},
           {{"help", "create"}, 0, "--exclude PATTERN"},
           {{"verify", "--help"}, 0, "usage: sfxpack verify"},
           {{"create", "--level=13", "-o", out.string(), input().string()},
            2,
            "Try 'sfxpack help create'"},
           {{"create", "--bogus"}, 2, "unknown option --bogus"},
           {{"verify", (work_ / "nothing").string()}, 1, "nothing"},
           {{"help", "bogus"}, 2, "no help for bogus"},
           {{"-V"}, 0, "sfxpack "},
           {{"verify", "-q", (work_ / "nothing").string()}, 1, "nothing"},
       }) {
    Result result = tool_run(c.words);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.words[0] << result.output;
    std::string where = c.exit_code == 0 ? result.standard_output : result.output;
    EXPECT_NE(where.find(c.output), std::string::npos) << c.words[0] << ": " << where;
    if (c.exit_code == 2) {
      EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 2) << result.output;
    }
  }
  // --opt=value, "--" before an operand that starts with a dash, one summary
  // line, several installers to verify.
  fs::create_directories(work_ / "-dash");
  harness::write_text(work_ / "-dash" / "x.txt", "x");
  Result packed = tool_run({"create", "--level=9", "--output=" + out.string(), "--stub=" + stub(),
                            "--", (work_ / "-dash").string()});
  ASSERT_EQ(packed.exit_code, 0) << packed.output;
  EXPECT_NE(packed.standard_output.find(": 1 file, 1 byte in,"), std::string::npos)
      << packed.standard_output;
  // The digest said is the file's, as sha256sum would print it.
  packlib::Sha256 digest;
  Bytes written = packlib::read_whole_file(out);
  digest.add(written.data(), written.size());
  EXPECT_NE(packed.standard_output.find("SHA-256 " + digest.hex() + "  " + out.string()),
            std::string::npos)
      << packed.standard_output;
  Result both = tool_run({"verify", out.string(), out.string()});
  EXPECT_EQ(both.exit_code, 0);
  EXPECT_EQ(std::count(both.standard_output.begin(), both.standard_output.end(), '\n'), 2);
}

TEST_F(Sfxpack, HonestAboutItsInput) {
  fs::path out = work_ / "out", tree = work_ / "tree";
  fs::create_directories(tree / "empty");
  fs::create_directories(tree / "skip");
  harness::write_text(tree / "a.txt", "a");
  harness::write_text(tree / "skip" / "b.log", "b");
  harness::write_text(tree / "c.log", "c");
  fs::create_symlink(tree / "a.txt", tree / "link.txt");
  // An excluded link to a directory is not walked either.
  harness::write_text(tree / "skip" / "k.txt", "k");
  fs::create_directory_symlink(tree / "skip", tree / "alias");
  Result refused = pack({"-o", out.string(), "--stub", stub(), tree.string()});
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.output.find("link.txt: a symbolic link"), std::string::npos) << refused.output;
  EXPECT_NE(refused.output.find("--dereference"), std::string::npos);
  EXPECT_FALSE(fs::exists(out));

  Result packed = pack({"-o", out.string(), "--stub", stub(), "--dereference", "--exclude", "skip",
                        "--exclude", "alias", "--exclude=*.log", tree.string()});
  ASSERT_EQ(packed.exit_code, 0) << packed.output;
  EXPECT_NE(packed.output.find("empty: an empty directory"), std::string::npos) << packed.output;
  Result listed = tool_run({"list", "--json", out.string()});
  EXPECT_NE(listed.standard_output.find("\"name\":\"link.txt\""), std::string::npos);
  EXPECT_EQ(listed.standard_output.find(".log"), std::string::npos) << listed.standard_output;
  EXPECT_NE(listed.standard_output.find("\"kind\":\"ELF\""), std::string::npos);
  EXPECT_NE(listed.standard_output.find("\"totals\":{\"files\":2,"), std::string::npos);

  // The backslash form of a stored path, as sfxpack prints it, matches too;
  // a pattern that left nothing out is said, and refused under --strict.
  std::vector<std::string> words = {
      "-o",        out.string(), "--stub",    stub(),  "--dereference", "--exclude", "skip\\k.txt",
      "--exclude", "alias",      "--exclude", "*.log", "--exclude",     "nothing*",  tree.string()};
  Result printed = pack(words);
  ASSERT_EQ(printed.exit_code, 0) << printed.output;
  EXPECT_NE(printed.output.find("--exclude nothing*: matched nothing"), std::string::npos)
      << printed.output;
  EXPECT_EQ(printed.output.find("skip\\k.txt: matched nothing"), std::string::npos);
  EXPECT_EQ(tool_run({"list", out.string()}).standard_output.find("skip"), std::string::npos);
  words.insert(words.begin(), "--strict");
  Result strict = pack(words);
  EXPECT_EQ(strict.exit_code, 1);
  EXPECT_NE(strict.output.find("matched nothing (refused by --strict)"), std::string::npos)
      << strict.output;

  for (const auto& [arguments, reason] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--exclude", "*", tree.string()}, "no files to pack"},
           {{tree.string()}, "inside a directory being packed"},
       }) {
    std::vector<std::string> words = {"-o", (arguments.size() == 1 ? tree / "x.exe" : out).string(),
                                      "--stub", stub(), "--dereference"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    Result result = pack(words);
    EXPECT_NE(result.exit_code, 0) << reason;
    EXPECT_NE(result.output.find(reason), std::string::npos) << result.output;
  }
}

// One tree with every kind of bad input: one run says every problem, one
// line each, and writes nothing. Each target has its own name rules.
TEST_F(Sfxpack, EveryProblemInOneRun) {
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  if (!fs::exists(windows_stub))
    GTEST_SKIP() << "no win64 stub built";
  fs::path tree = work_ / "bad", out = work_ / "out.exe";
  fs::create_directories(tree / "docs");
  fs::create_directories(tree / "empty");
  for (const char* name : {"index.html", "Index.html", "CON.txt", "a:b", "trail.", "back\\slash"})
    harness::write_text(tree / name, "x");
  fs::create_symlink("nowhere", tree / "dangling");
  fs::create_symlink(".", tree / "docs" / "loop");
  fs::create_symlink("l2", tree / "l1");
  fs::create_symlink("l1", tree / "l2");
  fs::create_directories(tree / "ring1");
  fs::create_directories(tree / "ring2");
  fs::create_symlink("../ring2", tree / "ring1" / "to2");
  fs::create_symlink("../ring1", tree / "ring2" / "to1");
  auto problems = [&](const std::string& stub_path, std::vector<std::string> options) {
    options.insert(options.end(), {"-o", out.string(), "--stub", stub_path, "--dereference",
                                   tree.string(), (work_ / "missing").string()});
    Result result = pack(options);
    EXPECT_EQ(result.exit_code, 1) << result.output;
    EXPECT_FALSE(fs::exists(out));
    std::vector<std::string> lines;
    std::istringstream stream(result.output);
    for (std::string line; std::getline(stream, line);) {
      for (size_t at; (at = line.find(work_.path().string() + "/")) != std::string::npos;)
        line.erase(at, work_.path().string().size() + 1);
      lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  const std::string loop = "leave it out with --exclude";
  std::vector<std::string> common = {
      "sfxpack: bad/back\\slash: a backslash in a name, which installers read as a directory "
      "separator; rename it or leave it out with --exclude",
      "sfxpack: bad/dangling: a dangling link (nowhere does not exist); " + loop,
      "sfxpack: bad/docs/loop: a link loop (it leads back to bad/docs); " + loop,
      "sfxpack: bad/l1: a link loop (links that lead to each other); " + loop,
      "sfxpack: bad/l2: a link loop (links that lead to each other); " + loop,
      "sfxpack: bad/ring1/to2/to1: a link loop (it leads back to bad/ring1); " + loop,
      "sfxpack: bad/ring2/to1/to2: a link loop (it leads back to bad/ring2); " + loop,
      "sfxpack: missing: no such file or directory",
  };
  std::vector<std::string> windows = common;
  const std::string rename = "; rename it or leave it out with --exclude";
  windows.insert(
      windows.end(),
      {"sfxpack: 12 problems; nothing was written",
       "sfxpack: bad/CON.txt: stored name \"CON.txt\" names a device on Windows" + rename,
       "sfxpack: bad/a:b: stored name \"a:b\" holds a character Windows does not allow in "
       "names" +
           rename,
       "sfxpack: bad/index.html: \"index.html\" and \"Index.html\" differ only in case: one "
       "file on Windows; rename one of them",
       "sfxpack: bad/trail.: stored name \"trail.\" has a part ending in a dot or blank, which "
       "Windows drops" +
           rename,
       "sfxpack: warning: bad/empty: an empty directory; installers keep no empty directories"});
  std::sort(windows.begin(), windows.end());
  EXPECT_EQ(problems(windows_stub.string(), {}), windows);
  // The POSIX stub writes "a:b", "CON.txt" and both cases as they are; with
  // --strict the warning is a problem too.
  std::vector<std::string> posix = common;
  posix.insert(posix.end(), {"sfxpack: 9 problems; nothing was written",
                             "sfxpack: bad/empty: an empty directory; installers keep no empty "
                             "directories (refused by --strict)"});
  std::sort(posix.begin(), posix.end());
  EXPECT_EQ(problems(stub(), {"--strict"}), posix);
  // The output may not be one of the inputs.
  harness::write_text(work_ / "b.txt", "keep");
  Result same =
      pack({"-o", (work_ / "b.txt").string(), "--stub", stub(), (work_ / "b.txt").string()});
  EXPECT_NE(same.output.find("the output is one of the files to pack"), std::string::npos)
      << same.output;
  EXPECT_EQ(harness::read_text(work_ / "b.txt"), "keep");
}

TEST_F(Sfxpack, WindowsTargetNames) {
  fs::path windows_stub = fs::path(SFX_SOURCE_DIR) / "build/win64/bin/stub.exe";
  if (!fs::exists(windows_stub))
    GTEST_SKIP() << "no win64 stub built";
  fs::path out = work_ / "out.exe";
  for (const auto& [names, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"a<b.txt"}, "does not allow"},
           {{"trailing."}, "ending in a dot or blank"},
           {{"Setup.exe", "setup.EXE"}, "differ only in case"},
           {{"ok.txt"}, ""},
       }) {
    fs::path tree = work_ / "names";
    fs::remove_all(tree);
    fs::create_directories(tree);
    for (const std::string& name : names)
      harness::write_text(tree / name, "x");
    Result result = pack({"-o", out.string(), "--stub", windows_stub.string(), tree.string()});
    EXPECT_EQ(result.exit_code != 0, !reason.empty()) << names[0] << result.output;
    if (!reason.empty()) {
      EXPECT_NE(result.output.find(reason), std::string::npos) << result.output;
    }
  }
  // Warnings: a name outside ASCII, a program not in the payload, "%path%"
  // right before a quote. The JSON names stay UTF-8.
  fs::path tree = work_ / "names";
  harness::write_text(tree / "Gr\xC3\xBC\xC3\x9F"
                             "e.txt",
                      "x");
  Result warned = pack({"-o", out.string(), "--stub", windows_stub.string(), "--run",
                        "missing.exe \"/dir=%path%\"", tree.string()});
  ASSERT_EQ(warned.exit_code, 0) << warned.output;
  for (const char* text : {"outside ASCII", "does not start with a stored file", "%path%."})
    EXPECT_NE(warned.output.find(text), std::string::npos) << text << "\n" << warned.output;
  // A program named with slashes is found; a split size below the stub's
  // own is said.
  fs::create_directories(work_ / "slashed" / "bin");
  harness::write_text(work_ / "slashed" / "bin" / "setup.sh", "x");
  Result slashed = pack({"-o", (work_ / "set.exe").string(), "--stub", windows_stub.string(),
                         "--split", "1K", "--run", "bin/setup.sh x", (work_ / "slashed").string()});
  ASSERT_EQ(slashed.exit_code, 0) << slashed.output;
  EXPECT_EQ(slashed.output.find("does not start"), std::string::npos) << slashed.output;
  EXPECT_NE(slashed.output.find("the head holds the whole stub"), std::string::npos)
      << slashed.output;
  Result listed = tool_run({"list", "--json", out.string()});
  EXPECT_NE(listed.standard_output.find("\"Gr\xC3\xBC\xC3\x9F"
                                        "e.txt\""),
            std::string::npos)
      << listed.standard_output;
  EXPECT_NE(listed.standard_output.find("\"kind\":\"PE32+\""), std::string::npos);
  // A name outside ASCII marks the package UTF-8; an ASCII package (the
  // control, packed with --wait) is not marked and asks to wait.
  EXPECT_TRUE(packlib::read_installer(packlib::read_whole_file(out)).options.utf8());
  fs::path ascii = work_ / "ascii";
  fs::create_directories(ascii);
  harness::write_text(ascii / "plain.txt", "x");
  ASSERT_EQ(pack({"-o", out.string(), "--wait", "--stub", windows_stub.string(), ascii.string()})
                .exit_code,
            0);
  packlib::Listing plain = packlib::read_installer(packlib::read_whole_file(out));
  EXPECT_EQ(plain.options.bits, layout::option_wait | layout::option_checksum |
                                    layout::option_checksum_header | layout::option_command_line);
}

} // namespace
} // namespace e2e
