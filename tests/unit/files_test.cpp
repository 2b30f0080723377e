// Files and directories through the OS layer: modes and sharing, seeks,
// existence predicates and force_directories with its stops.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#endif

#include "extract/directories.h"
#include "harness/harness.h"
#include "support/os/directory.h"
#include "support/os/files.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/os/seam.h"
#include "support/os/system.h"
#include "support/platform/host.h"
#include "support/platform/memory.h"
#include "support/runtime/termination.h"

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

// Every function of the OS interface asks the seam, so a fault loop reaches
// every system call; tools/check-structure.py checks that each function the
// interface declares stands in this table or among the exemptions.
TEST_F(Files, EveryOsFunctionAsksTheSeam) {
  harness::write_text(dir_ / "f", "0123456789");
  fs::create_directories(dir_ / "d");
  FileHandle file = open_file(path("f").c_str(), mode_read_share_all);
  ASSERT_NE(file, no_file);
  Directory directory;
  ASSERT_TRUE(open_directory(String(path("d").c_str()), &directory));
  const String d = String(path("d").c_str()), f = String(path("f").c_str());
  const String p = d + "\\p", q = d + "\\q", a = String("a"), dot = String(".");
  char buffer[256];
  String text;
  void* block = system_allocate(16);
  int32_t exit_code = 0;
  struct Call {
    const char* name;
    OsCall kind; // the kind of its first system call
    std::function<void()> call;
    bool asks = true; // false where the host has nothing to ask the system
  };
  const Call calls[] = {
      {"open_file", OsCall::open,
       [&] { close_file(open_file(path("f").c_str(), mode_read_share_all)); }},
      {"create_file", OsCall::create, [&] { close_file(create_file(path("g").c_str())); }},
      {"create_shared_file", OsCall::create,
       [&] { close_file(create_shared_file(path("g").c_str())); }},
      {"read_file", OsCall::read, [&] { read_file(file, buffer, 4); }},
      {"write_file", OsCall::write, [&] { write_file(file, buffer, 0); }},
      {"seek_file", OsCall::seek, [&] { seek_file(file, 0, seek_from_start); }},
      {"close_file", OsCall::close,
       [&] { close_file(open_file(path("f").c_str(), mode_read_share_all)); }},
      {"file_type", OsCall::query, [&] { file_type(file); }},
      {"mark_as_program", OsCall::attributes, [&] { mark_as_program(file); }, !host_is_windows},
      {"get_temp_path", OsCall::query, [&] { get_temp_path(buffer, sizeof buffer); }},
      {"open_directory", OsCall::open,
       [&] {
         Directory other;
         if (open_directory(d, &other))
           close_directory(&other);
       }},
      {"open_child_directory", OsCall::open,
       [&] {
         Directory child;
         if (open_child_directory(directory, "c", true, &child) == ChildDirectory::opened)
           close_directory(&child);
       }},
      {"create_file_in", OsCall::create, [&] { close_file(create_file_in(directory, "n")); }},
      {"place_in", OsCall::move,
       [&] { place_in(directory, create_file_in(directory, "n"), "n", "m"); }},
      {"delete_in", OsCall::remove, [&] { delete_in(directory, no_file, "m"); }},
      {"create_private_directory", OsCall::make_directory, [&] { create_private_directory(p); }},
      {"remove_directory_tree", OsCall::remove,
       [&] { remove_directory_tree(String(path("none").c_str())); }},
      {"file_identity", OsCall::query,
       [&] {
         FileIdentity identity;
         file_identity(file, &identity);
       }},
      {"open_program_in", OsCall::open,
       [&] { close_file(open_program_in(directory, "m", FileIdentity{})); }},
      {"file_exists", OsCall::query, [&] { file_exists(f); }},
      {"directory_exists", OsCall::query, [&] { directory_exists(d); }},
      {"create_directory", OsCall::make_directory, [&] { create_directory(q); }},
      {"delete_file", OsCall::remove, [&] { delete_file(path("g").c_str()); }},
      {"replace_file", OsCall::move, [&] { replace_file(path("x").c_str(), path("y").c_str()); }},
      {"full_path", OsCall::query, [&] { full_path(a); }},
      {"text_from_utf8", OsCall::query, [&] { text_from_utf8("a", 1, &text); }},
      {"short_path", OsCall::query, [&] { short_path(d); }, host_is_windows},
      {"get_windows_directory", OsCall::query,
       [&] { get_windows_directory(buffer, sizeof buffer); }, host_is_windows},
      {"change_directory", OsCall::change_directory,
       [&] {
         change_directory(dot);
         set_io_result(0);
       }},
      {"launch_program", OsCall::launch,
       [&] {
         launch_program(nullptr, "no-such-program", nullptr, nullptr, 0, no_file, &exit_code);
       }},
      {"system_allocate", OsCall::commit, [&] { system_free(system_allocate(16)); }},
      {"system_reallocate", OsCall::commit,
       [&] {
         if (void* grown = system_reallocate(block, 16, 32))
           block = grown;
       }},
  };
  for (const auto& [name, kind, call, asks] : calls) {
    seam_arm_kind(kind);
    call();
    bool fired = seam_fired();
    seam_arm(0, SeamFault::fail);
    EXPECT_EQ(fired, asks) << name;
  }
  // Answers that cannot fail, releases, the pause and what the process
  // frame provides have no row: tools/check-structure.py names them.
  system_free(block);
  close_directory(&directory);
  close_file(file);
}

// Names stored in UTF-8 reach the system's code page only when they come
// back the same: never by best fit (a fullwidth colon is no drive colon).
// Where the code page is UTF-8 itself (the seam answers 65001), well-formed
// text passes as it is. POSIX takes the bytes.
TEST(Utf8Names, ConvertedOnlyWhereTheyComeBackTheSame) {
  const struct {
    const char* text;
    uint32_t code_page;  // 0: the system's own (1252 here under Wine)
    const char* windows; // null: refused
  } rows[] = {
      {"a\xC3\xA9", 0, "a\xE9"},         {"\xC4\x80", 0, nullptr}, // U+0100 would become "A"
      {"c\xEF\xBC\x9A", 0, nullptr},                               // U+FF1A would become ":"
      {"\xC0\xAF", 0, nullptr},                                    // overlong
      {"a\xC3\xA9", 65001, "a\xC3\xA9"}, {"\xC4\x80\xEF\xBC\x9A", 65001, "\xC4\x80\xEF\xBC\x9A"},
      {"\xC0\xAF", 65001, nullptr},
  };
  for (const auto& row : rows) {
    if (row.code_page)
      seam_arm_answer(OsCall::code_page, row.code_page);
    String converted;
    bool taken = text_from_utf8(row.text, int32_t(std::strlen(row.text)), &converted);
    seam_arm(0, SeamFault::fail);
    if (!host_is_windows) {
      EXPECT_TRUE(taken) << row.text;
      continue;
    }
    EXPECT_EQ(taken, row.windows != nullptr) << row.text << " " << row.code_page;
    if (taken && row.windows) {
      EXPECT_STREQ(converted.c_str(), row.windows) << row.text;
    }
  }
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
