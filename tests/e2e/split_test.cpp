// Split sets under Wine: the head joins itself and its volumes into
// "_TMP_VK.exe" in the temp directory and starts it; the joined copy
// extracts. A POSIX stub cannot be a head, so these run on Windows only.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <thread>

#include "e2e/runner.h"
#include "harness/harness.h"
#include "package/layout.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/installer.h"
#include "tools/packlib/package.h"

namespace e2e {
namespace {

using packlib::Bytes;

class SplitSet : public testing::TestWithParam<Platform> {
protected:
  void SetUp() override {
    if (!runner_.available())
      GTEST_SKIP() << runner_.unavailable_reason();
    fs::remove(list());
    fs::remove(joined());
  }

  // Writes an installer of one file as a split set of `count` files beside
  // `head`, the pieces about equal; answers the pieces.
  std::vector<Bytes> write_set(const fs::path& head, int count, size_t content_size = 200000,
                               uint8_t options = 0) {
    Bytes stub = packlib::read_whole_file(runner_.stub());
    Bytes content(content_size);
    for (size_t i = 0; i < content.size(); ++i)
      content[i] = uint8_t((i * 2654435761u) >> 13);
    Bytes installer = packlib::build_installer(
        stub, {{"payload.bin", packlib::deflate_stream(content, 0)}}, {}, options);
    size_t package = installer.size() - stub.size();
    uint32_t piece =
        count == 1 ? uint32_t(installer.size()) : uint32_t((package + count - 2) / (count - 1));
    std::vector<Bytes> pieces = packlib::split_installer(installer, uint32_t(stub.size()), piece);
    EXPECT_EQ(int(pieces.size()), count);
    fs::create_directories(head.parent_path());
    packlib::write_whole_file(head, pieces[0]);
    for (size_t i = 1; i < pieces.size(); ++i)
      packlib::write_whole_file(packlib::volume_name(head.string(), int(i)), pieces[i]);
    content_ = content;
    return pieces;
  }

  fs::path joined() const { return runner_.temp_directory() / "_TMP_VK.exe"; }
  fs::path list() const { return runner_.windows_directory() / "wininit.ini"; }

  // Waits until the joined copy has extracted its payload into `target` and
  // entered itself in the restart list, so that it has finished.
  bool joined_copy_finished(const fs::path& target) {
    if (!wait_for(target / "payload.bin"))
      return false;
    for (int i = 0; i < 300; ++i) {
      if (harness::read_text(list()).find("_TMP_VK.exe") != std::string::npos)
        return packlib::read_whole_file(target / "payload.bin") == content_;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  Runner runner_{GetParam()};
  harness::TempDir work_;
  Bytes content_;
};

TEST_P(SplitSet, JoinsExtractsBesideTheHeadAndCleansUp) {
  for (int count : {1, 3, 18}) {
    fs::path head = work_ / ("set" + std::to_string(count)) / "bundle.exe";
    write_set(head, count);
    fs::remove(list());
    Result result = runner_.run(head, {});
    EXPECT_EQ(result.exit_code, 0) << count;
    EXPECT_TRUE(result.boxes.empty()) << count << result.output;
    ASSERT_TRUE(joined_copy_finished(head.parent_path())) << count;
    for (int i = 1; i < count; ++i)
      EXPECT_FALSE(fs::exists(packlib::volume_name(head.string(), i))) << count << " " << i;
    EXPECT_TRUE(fs::exists(head));
    std::string entries = harness::read_text(list());
    EXPECT_NE(entries.find("NUL=" + runner_.path_argument(head) + "\r\n"), std::string::npos)
        << entries;
    Bytes copy = packlib::read_whole_file(joined());
    EXPECT_EQ(copy[128], 0x00);
    EXPECT_EQ(copy[129], 0x56);
    EXPECT_EQ(copy[130], 0x34);
    EXPECT_EQ(copy[131], 0x12);
  }
}

// A head whose package reads options honours them: it lists the set
// without deleting a volume, and tells a missing one without a box.
TEST_P(SplitSet, HeadHonoursTheCommandLine) {
  fs::path head = work_ / "options" / "bundle.exe";
  write_set(head, 3, 200000, layout::option_command_line);
  Result listed = runner_.run(head, {"--list"});
  EXPECT_EQ(listed.exit_code, 0) << listed.output;
  EXPECT_TRUE(listed.boxes.empty()) << listed.output;
  EXPECT_NE(listed.standard_output.find("200000  payload.bin"), std::string::npos)
      << listed.standard_output << listed.output;
  for (int i = 1; i < 3; ++i)
    EXPECT_TRUE(fs::exists(packlib::volume_name(head.string(), i))) << i;
  EXPECT_FALSE(fs::exists(joined()));

  fs::remove(packlib::volume_name(head.string(), 2));
  Result quiet = runner_.run(head, {"/S"});
  EXPECT_EQ(quiet.exit_code, 1);
  EXPECT_TRUE(quiet.boxes.empty()) << quiet.output;
  EXPECT_NE(quiet.output.find("Warning: Combine error!!"), std::string::npos) << quiet.output;
}

TEST_P(SplitSet, SignedHeadJoinsAndRuns) {
  fs::path head = work_ / "signed" / "bundle.exe";
  write_set(head, 3);
  fs::path unsigned_head = work_ / "signed" / "unsigned.exe";
  fs::rename(head, unsigned_head);
  ASSERT_TRUE(sign(unsigned_head, head));
  EXPECT_TRUE(signature_verifies(head));
  // The signature covers the head alone, and the tool says so.
  std::string list_command = "'" + (fs::path(SFX_SOURCE_DIR) / "build/posix/bin/sfxpack").string() +
                             "' list '" + head.string() + "'";
  std::string listed;
  if (std::FILE* pipe = popen(list_command.c_str(), "r")) {
    char block[256];
    while (size_t count = std::fread(block, 1, sizeof block, pipe))
      listed.append(block, count);
    pclose(pipe);
  }
  EXPECT_NE(listed.find("signed (head only)"), std::string::npos) << listed;
  Result result = runner_.run(head, {});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(result.boxes.empty()) << result.output;
  ASSERT_TRUE(joined_copy_finished(head.parent_path()));
  // The joined copy left the certificate table behind and is unsigned.
  Bytes copy = packlib::read_whole_file(joined());
  EXPECT_EQ(packlib::package_data_end(copy), copy.size());
}

// A head at a drive's root hands the root over, not the drive's current
// directory (for the joined copy in temp that would be the temp directory).
TEST_P(SplitSet, HeadAtADriveRootExtractsThere) {
  fs::path root = work_ / "drive", letter = runner_.prefix() / "dosdevices" / "q:";
  fs::create_directories(root);
  fs::remove(letter);
  fs::create_directory_symlink(root, letter);
  write_set(root / "bundle.exe", 2);
  Result result = runner_.run("Q:\\bundle.exe", {});
  EXPECT_EQ(result.exit_code, 0) << result.output;
  EXPECT_TRUE(joined_copy_finished(root));
  fs::remove(letter);
}

TEST_P(SplitSet, ArgumentIsPassedOnAndBlanksSurvive) {
  fs::path head = work_ / "dir with blanks" / "bundle.exe";
  write_set(head, 3);
  // Without an argument: the head's own directory, blanks and all.
  EXPECT_EQ(runner_.run(head, {}).exit_code, 0);
  ASSERT_TRUE(joined_copy_finished(head.parent_path()));

  fs::remove(list());
  write_set(head, 3);
  fs::path target = work_ / "chosen target";
  EXPECT_EQ(runner_.run(head, {runner_.path_argument(target)}).exit_code, 0);
  ASSERT_TRUE(joined_copy_finished(target));
}

TEST_P(SplitSet, MissingOrShortVolumeKeepsTheSet) {
  fs::path head = work_ / "bundle.exe";
  for (bool missing : {true, false}) {
    std::vector<Bytes> pieces = write_set(head, 4);
    fs::path second = packlib::volume_name(head.string(), 2);
    if (missing)
      fs::remove(second);
    else
      packlib::write_whole_file(second, std::span(pieces[2]).first(pieces[2].size() - 1000));
    Result result = runner_.run(head, {});
    EXPECT_EQ(result.warning(), "Combine error!!") << missing;
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(fs::exists(packlib::volume_name(head.string(), 1))) << missing;
    EXPECT_EQ(fs::exists(second), !missing);
    EXPECT_TRUE(fs::exists(packlib::volume_name(head.string(), 3))) << missing;
    EXPECT_FALSE(fs::exists(joined())) << missing;
    EXPECT_FALSE(fs::exists(work_ / "payload.bin")) << missing;
    EXPECT_FALSE(fs::exists(list())) << missing;
  }
}

// A volume changed inside a stream still walks, but the package checksum
// finds it: the set stays whole and nothing is extracted.
TEST_P(SplitSet, ChangedVolumeOfAChecksummedSet) {
  fs::path head = work_ / "bundle.exe";
  std::vector<Bytes> pieces = write_set(head, 3, 200000, layout::option_checksum);
  fs::path second = packlib::volume_name(head.string(), 2);
  pieces[2][100] ^= 0xFF;
  packlib::write_whole_file(second, pieces[2]);
  Result result = runner_.run(head, {});
  EXPECT_EQ(result.warning(), "Combine error!!");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(fs::exists(packlib::volume_name(head.string(), 1)));
  EXPECT_TRUE(fs::exists(second));
  EXPECT_FALSE(fs::exists(joined()));
  EXPECT_FALSE(fs::exists(work_ / "payload.bin"));
}

// A head whose package asks to wait waits for its joined copy, which waits
// for the setup: the setup's exit code comes back through both.
TEST_P(SplitSet, WaitingHeadPassesTheExitCodeOn) {
  fs::path head = work_ / "bundle.exe", record = work_ / "record.txt";
  Bytes stub = packlib::read_whole_file(runner_.stub());
  std::string helper = "rec" + runner_.program_suffix();
  Bytes installer = packlib::build_installer(
      stub, {{helper, packlib::deflate_stream(packlib::read_whole_file(runner_.record_helper()))}},
      helper + " exit=3", layout::option_wait | layout::option_checksum);
  size_t package = installer.size() - stub.size();
  std::vector<Bytes> pieces =
      packlib::split_installer(installer, uint32_t(stub.size()), uint32_t(package / 2 + 8));
  packlib::write_whole_file(head, pieces[0]);
  for (size_t i = 1; i < pieces.size(); ++i)
    packlib::write_whole_file(packlib::volume_name(head.string(), int(i)), pieces[i]);
  Result result = runner_.run(head, {}, {"SFX_RECORD=" + runner_.path_argument(record)});
  EXPECT_EQ(result.exit_code, 3) << result.output;
  EXPECT_TRUE(fs::exists(record));
}

TEST_P(SplitSet, AnnouncedCounts) {
  fs::path head = work_ / "bundle.exe";
  std::vector<Bytes> pieces = write_set(head, 1);
  Bytes file = pieces[0];
  file[132] = 201;
  packlib::write_whole_file(head, file);
  EXPECT_EQ(runner_.run(head, {}).warning(), "File format error(100)!");

  // 0 and negative counts join the head alone, which holds the whole package.
  for (uint8_t high : {0x00, 0xFF}) {
    fs::remove(list());
    fs::remove(work_ / "payload.bin");
    file[132] = high, file[133] = high, file[134] = high, file[135] = high;
    packlib::write_whole_file(head, file);
    EXPECT_EQ(runner_.run(head, {}).exit_code, 0);
    ASSERT_TRUE(joined_copy_finished(work_.path())) << int(high);
  }
}

TEST_P(SplitSet, RestartRemovesTheStubs) {
  fs::path head = work_ / "bundle.exe";
  write_set(head, 2);
  ASSERT_EQ(runner_.run(head, {}).exit_code, 0);
  ASSERT_TRUE(joined_copy_finished(work_.path()));
  // The system works through the list at its next start.
  Result boot = runner_.run("wineboot", {"-r"});
  (void)boot;
  for (int i = 0; i < 200 && (fs::exists(head) || fs::exists(joined())); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(fs::exists(head));
  EXPECT_FALSE(fs::exists(joined()));
  EXPECT_TRUE(fs::exists(work_ / "payload.bin"));
}

INSTANTIATE_TEST_SUITE_P(Windows, SplitSet, testing::Values(Platform::wine, Platform::wine32),
                         [](const testing::TestParamInfo<Platform>& info) {
                           return platform_name(info.param);
                         });

} // namespace
} // namespace e2e
