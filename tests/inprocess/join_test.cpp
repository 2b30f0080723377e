// Head mode run in-process on crafted split sets: the joined copy, the fate
// of the volumes, and every failure leaving the set whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness/harness.h"
#include "package/format.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/installer.h"
#include "tools/packlib/package.h"

namespace {

namespace fs = std::filesystem;
using harness::Outcome;
using packlib::Bytes;

class Join : public testing::Test {
protected:
  void SetUp() override {
    harness::use_directories(temp_.path());
#ifndef _WIN32
    // Nothing on the search path: the joined copy here is no program, and
    // no opener should be started for it.
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", "", 1);
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    setenv("PATH", saved_path_.c_str(), 1);
#endif
  }

  // A head and `count - 1` volumes cut from an installer of `size` bytes.
  std::vector<Bytes> write_set(size_t size, int count, int32_t announced) {
    Bytes content(3000);
    for (size_t i = 0; i < content.size(); ++i)
      content[i] = uint8_t(i * 31 + 7);
    std::vector<packlib::StoredFile> files = {{"data.bin", packlib::deflate_stream(content, 0)}};
    size_t package = packlib::build_installer(Bytes{}, files, std::nullopt).size();
    Bytes whole = packlib::build_installer(Bytes(size - package, 0), files, std::nullopt);
    size_t piece = (size + count - 1) / count;
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < size; at += piece)
      pieces.emplace_back(whole.begin() + at, whole.begin() + std::min(size, at + piece));
    store_split_set_header(&pieces[0][layout::split_set_offset], announced);
    packlib::write_whole_file(head_, pieces[0]);
    for (size_t i = 1; i < pieces.size(); ++i)
      packlib::write_whole_file(packlib::volume_name(head_.string(), int(i)), pieces[i]);
    return pieces;
  }

  Outcome run(const std::string& arguments = "") {
    return harness::run_stub({head_, arguments, harness::Seal::unsealed});
  }

  fs::path joined() const {
    return temp_.path() / "_TMP_VK.exe";
  }

  harness::TempDir temp_, work_;
  fs::path head_ = work_ / "bundle.exe";
  std::string saved_path_;
};

TEST_F(Join, JoinsTheSetAndDeletesTheVolumes) {
  std::vector<Bytes> pieces = write_set(100000, 20, 20);
  // Volumes are numbered in hexadecimal: the tenth is .F0A, the sixteenth .F10.
  ASSERT_TRUE(fs::exists(work_ / "bundle.F0A"));
  ASSERT_TRUE(fs::exists(work_ / "bundle.F10"));
  Outcome outcome = run();
  EXPECT_TRUE(outcome.messages.empty()) << outcome.report();
  EXPECT_EQ(outcome.exit_code, 0);
  Bytes expected;
  for (const Bytes& piece : pieces)
    expected.insert(expected.end(), piece.begin(), piece.end());
  expected[128] = 0;
  EXPECT_TRUE(packlib::read_whole_file(joined()) == expected);
  for (int i = 1; i < 20; ++i)
    EXPECT_FALSE(fs::exists(packlib::volume_name(head_.string(), i))) << i;
  EXPECT_TRUE(fs::exists(head_));
}

TEST_F(Join, HeadAloneWhenTheCountIsOneOrLess) {
  for (int32_t count : {1, 0, -5}) {
    write_set(40000, 1, count);
    Outcome outcome = run();
    EXPECT_TRUE(outcome.messages.empty()) << count;
    Bytes copy = packlib::read_whole_file(joined());
    EXPECT_EQ(copy.size(), 40000u) << count;
    EXPECT_EQ(copy[128], 0);
    EXPECT_EQ(copy[129], 0x56);
  }
}

TEST_F(Join, HeadOfWholeCopyBlocks) {
  std::vector<Bytes> pieces = write_set(3 * 32768 * 2, 2, 2);
  ASSERT_EQ(pieces[0].size(), 3u * 32768);
  fs::remove(joined());
  harness::write_text(joined(), std::string(500000, 'o')); // an old copy is replaced
  EXPECT_TRUE(run().messages.empty());
  EXPECT_EQ(fs::file_size(joined()), 6u * 32768);
}

TEST_F(Join, TooManyFiles) {
  write_set(5000, 1, 201);
  Outcome outcome = run();
  EXPECT_EQ(outcome.warning(), "File format error(100)!");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_FALSE(fs::exists(joined()));
}

TEST_F(Join, MissingVolumeLeavesTheSetWhole) {
  write_set(50000, 5, 5);
  fs::remove(work_ / "bundle.F03");
  Outcome outcome = run();
  EXPECT_EQ(outcome.warning(), "Combine error!!");
  EXPECT_EQ(outcome.exit_code, 1);
  for (const char* name : {"bundle.F01", "bundle.F02", "bundle.F04"})
    EXPECT_TRUE(fs::exists(work_ / name)) << name;
  EXPECT_FALSE(fs::exists(joined()));
}

TEST_F(Join, UnreadableVolumeLeavesTheSetWhole) {
  write_set(50000, 3, 3);
  // A directory where a volume should be is found by neither test nor read.
  fs::remove(work_ / "bundle.F02");
  fs::create_directory(work_ / "bundle.F02");
  EXPECT_EQ(run().warning(), "Combine error!!");
  EXPECT_TRUE(fs::exists(work_ / "bundle.F01"));
  EXPECT_FALSE(fs::exists(joined()));
}

TEST_F(Join, ShortOrDamagedVolumeLeavesTheSetWhole) {
  for (int damage = 0; damage < 3; ++damage) {
    std::vector<Bytes> pieces = write_set(50000, 3, 3);
    fs::path last = work_ / "bundle.F02";
    Bytes volume = pieces[2];
    if (damage == 0)
      volume.resize(volume.size() - 100); // cut short
    else if (damage == 1)
      volume.insert(volume.begin(), 7, 0); // bytes gained: the trailer points elsewhere
    else
      pieces[1][pieces[1].size() / 2] ^= 0xFF, volume = pieces[2]; // middle damaged only
    packlib::write_whole_file(last, volume);
    if (damage == 2)
      packlib::write_whole_file(work_ / "bundle.F01", pieces[1]);
    Outcome outcome = run();
    if (damage == 2) {
      // Damage inside a stream keeps the walk intact: the set joins, and
      // the joined copy reports the stream when it runs.
      EXPECT_TRUE(outcome.messages.empty()) << outcome.warning();
      continue;
    }
    EXPECT_EQ(outcome.warning(), "Combine error!!") << damage;
    EXPECT_TRUE(fs::exists(work_ / "bundle.F01")) << damage;
    EXPECT_TRUE(fs::exists(last)) << damage;
    EXPECT_FALSE(fs::exists(joined())) << damage;
  }
}

TEST_F(Join, JoinedCopyThatCannotBeCreated) {
  write_set(50000, 3, 3);
  fs::create_directory(joined());
  EXPECT_EQ(run().warning(), "Combine error!!");
  EXPECT_TRUE(fs::exists(work_ / "bundle.F01"));
  EXPECT_TRUE(fs::exists(work_ / "bundle.F02"));
  fs::remove(joined());
}

} // namespace
