// Files and directories through the OS layer: modes and sharing, seeks,
// existence predicates and force_directories with its stops.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "harness/harness.h"
#include "support/os/files.h"
#include "support/os/process.h"
#include "support/os/seam.h"
#include "support/os/system.h"
#include "support/runtime/directories.h"
#include "support/text/c_string.h"

namespace {

namespace fs = std::filesystem;
using harness::stub_path;

class Files : public testing::Test {
protected:
  std::string path(const std::string& name) const { return stub_path(dir_.path() / name); }
  harness::TempDir dir_;
};

TEST_F(Files, SeeksAndReads) {
  harness::write_text(dir_ / "f", std::string(100, 'x'));
  FileHandle file = open_file(path("f").c_str(), mode_read_share_all);
  ASSERT_NE(file, no_file);
  EXPECT_EQ(seek_file(file, -8, seek_from_end), 92u);
  char buffer[16];
  EXPECT_EQ(read_file(file, buffer, 16), 8); // short at the end: no failure
  EXPECT_EQ(read_file(file, buffer, 16), 0);
  EXPECT_EQ(seek_file(file, -200, seek_from_end), uint32_t(-1));
  close_file(file);
  EXPECT_EQ(seek_file(no_file, 0, seek_from_start), uint32_t(-1));
  EXPECT_EQ(read_file(no_file, buffer, 1), -1);
  EXPECT_EQ(write_file(no_file, buffer, 1), -1);
  EXPECT_EQ(open_file(path("missing").c_str(), mode_read_share_all), no_file);
}

TEST_F(Files, CreateEmptiesAnExistingFile) {
  harness::write_text(dir_ / "f", "old content");
  FileHandle file = create_file(path("f").c_str());
  ASSERT_NE(file, no_file);
  EXPECT_EQ(write_file(file, "new", 3), 3);
  close_file(file);
  EXPECT_EQ(harness::read_text(dir_ / "f"), "new");
  // A directory cannot be created over.
  fs::create_directory(dir_ / "d");
  EXPECT_EQ(create_file(path("d").c_str()), no_file);
}

#ifdef _WIN32
TEST_F(Files, SharingModes) {
  harness::write_text(dir_ / "f", "x");
  FileHandle first = open_file(path("f").c_str(), mode_read_share_all);
  ASSERT_NE(first, no_file);
  // Mode 0 lets no other opener in, so it fails while another handle is open.
  EXPECT_EQ(open_file(path("f").c_str(), mode_read_share_none), no_file);
  FileHandle second = open_file(path("f").c_str(), mode_read_share_all);
  EXPECT_NE(second, no_file);
  close_file(second);
  close_file(first);
  FileHandle alone = open_file(path("f").c_str(), mode_read_share_none);
  EXPECT_NE(alone, no_file);
  close_file(alone);
}
#endif

TEST_F(Files, ExistencePredicates) {
  harness::write_text(dir_ / "f", "x");
  fs::create_directory(dir_ / "d");
  EXPECT_TRUE(file_exists(path("f").c_str()));
  EXPECT_FALSE(file_exists(path("d").c_str()));
  EXPECT_FALSE(file_exists(path("missing").c_str()));
  EXPECT_TRUE(directory_exists(path("d").c_str()));
  EXPECT_FALSE(directory_exists(path("f").c_str()));
  EXPECT_FALSE(directory_exists(path("missing").c_str()));
}

TEST_F(Files, ForceDirectories) {
  force_directories(String((path("a") + "\\b\\c\\").c_str()));
  EXPECT_TRUE(fs::is_directory(dir_ / "a" / "b" / "c"));
  // A trailing double backslash stops at once: nothing is created.
  force_directories(String((path("x") + "\\\\").c_str()));
  EXPECT_FALSE(fs::exists(dir_ / "x"));
  // The empty string and ".\" create nothing and do not fail.
  force_directories(String(""));
  force_directories(String(".\\"));
  // Relative paths whose first directory has one or two bytes are created
  // too; "." and ".." are not.
  fs::path previous = fs::current_path();
  fs::current_path(dir_.path());
  force_directories(String("ab\\c\\"));
  force_directories(String("..\\"));
  fs::current_path(previous);
  EXPECT_TRUE(fs::is_directory(dir_ / "ab" / "c"));
  // A file in the way leaves the directory uncreated, silently.
  harness::write_text(dir_ / "file", "x");
  force_directories(String((path("file") + "\\sub\\").c_str()));
  EXPECT_FALSE(fs::exists(dir_ / "file" / "sub"));
}

#ifdef _WIN32
// Where SetDefaultDllDirectories is missing (the seam fails its lookup), the
// DLLs that the message box and the shell would load on demand are loaded
// at once from the system directory.
TEST(DllSearch, WithoutDefaultDirectoriesSystemDllsComeByPath) {
  ASSERT_EQ(GetModuleHandleA("uxtheme.dll"), nullptr);
  seam_arm(1, SeamFault::fail);
  harden_dll_search();
  bool fired = seam_fired();
  seam_arm(0, SeamFault::fail);
  EXPECT_TRUE(fired);
  char system[MAX_PATH];
  UINT length = GetSystemDirectoryA(system, MAX_PATH);
  for (const char* name : {"uxtheme.dll", "dwmapi.dll"}) {
    HMODULE module = GetModuleHandleA(name);
    ASSERT_NE(module, nullptr) << name;
    char path[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_EQ(_strnicmp(path, system, length), 0) << path;
  }
}
#endif

} // namespace
