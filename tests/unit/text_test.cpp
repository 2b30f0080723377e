// Pure text logic: command-line splitting, path text, the report layout, the
// fault table, the launch split and the name check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/name_check.h"
#include "support/base/c_string.h"
#include "support/base/code_page.h"
#include "support/runtime/fault_codes.h"
#include "support/runtime/report.h"
#include "support/text/command_line.h"
#include "support/text/launch_command.h"
#include "support/text/path_text.h"
#include "support/text/utf8.h"
#include "tools/packlib/glob.h"

namespace {

std::string text(const String& s) {
  return std::string(s.c_str(), size_t(s.length()));
}

TEST(CommandLine, SampleForms) {
  // a"b c"d is one argument of five bytes.
  EXPECT_EQ(count_arguments("p a\"b c\"d"), 1);
  EXPECT_EQ(text(argument_from("p a\"b c\"d", 1)), "ab cd");
  // x "" y: the empty quotes vanish.
  EXPECT_EQ(count_arguments("p x \"\" y"), 2);
  EXPECT_EQ(text(argument_from("p x \"\" y", 2)), "y");
  // A backslash before a quote is a literal backslash and opens quoted text.
  EXPECT_EQ(text(argument_from("p a\\\"b c\"", 1)), "a\\b c");
}

TEST(CommandLine, ArgumentsAndTheirEnd) {
  EXPECT_EQ(count_arguments("stub.exe"), 0);
  EXPECT_EQ(text(argument_from("stub.exe", 1)), "");
  EXPECT_EQ(count_arguments("\"C:\\Program Files\\stub.exe\" \"C:\\My Dir\" x"), 2);
  EXPECT_EQ(text(argument_from("p \"C:\\My Dir\" x", 1)), "C:\\My Dir");
  EXPECT_EQ(text(argument_from("p \"\" x", 1)), "x");
  EXPECT_EQ(count_arguments("p C:\\My Dir"), 2);
  EXPECT_EQ(text(argument_from("p C:\\My Dir", 2)), "Dir");
  EXPECT_EQ(text(argument_from("p a b", 5)), "");
  // What stands behind an argument is handed on as it was written.
  EXPECT_STREQ(behind_arguments("p --x \"a b\" --  c \"d\\\" e\"", 3), "c \"d\\\" e\"");
  // Tabs and control bytes separate; bytes from 0x80 up are ordinary.
  EXPECT_EQ(count_arguments("p\ta\x01"
                            "b \xE9t\xE9"),
            3);
  EXPECT_EQ(text(argument_from("p \xE9t\xE9", 1)), "\xE9t\xE9");
  // An unclosed quote runs to the end of the line.
  EXPECT_EQ(text(argument_from("p \"a b", 1)), "a b");
}

TEST(CommandLine, LongArgumentsAreCutAt4096Bytes) {
  std::string line = "p " + std::string(5000, 'a') + " b";
  EXPECT_EQ(count_arguments(line.c_str()), 3);
  EXPECT_EQ(argument_from(line.c_str(), 1).length(), 4096);
  EXPECT_EQ(text(argument_from(line.c_str(), 2)), std::string(904, 'a'));
  std::string quoted = "p \"" + std::string(5000, 'q') + "\"";
  EXPECT_EQ(argument_from(quoted.c_str(), 1).length(), 4096);
}

TEST(PathText, ChangeExtension) {
  EXPECT_EQ(text(change_extension("C:\\dl\\bundle.exe", ".F01")), "C:\\dl\\bundle.F01");
  EXPECT_EQ(text(change_extension("C:\\x.y\\bundle.exe", ".F01")), "C:\\x.y\\bundle.F01");
  // The search does not stop at a backslash.
  EXPECT_EQ(text(change_extension("C:\\x.y\\bundle", ".F01")), "C:\\x.F01");
  // A dot in the first position is not taken.
  EXPECT_EQ(text(change_extension(".profile", ".F01")), ".profile.F01");
}

TEST(PathText, LowerCase) {
  EXPECT_EQ(text(lower_case("C:\\WINDOWS\\Bundle.EXE")), "c:\\windows\\bundle.exe");
  // A byte from 0x80 up takes the next byte with it, unchanged.
  EXPECT_EQ(text(lower_case("\x81"
                            "AB")),
            "\x81"
            "Ab");
  EXPECT_EQ(text(lower_case("[Rename]")), "[rename]");
  // The work ends at a NUL inside the string.
  EXPECT_EQ(text(lower_case(String("AB\0CD", 5))), "ab");
}

TEST(PathText, DirectoryOfAndPrefix) {
  EXPECT_EQ(text(directory_of("C:\\dir\\stub.exe")), "C:\\dir");
  EXPECT_EQ(text(directory_of("C:\\stub.exe")), "C:");
  EXPECT_EQ(text(directory_of("stub.exe")), "");
  EXPECT_EQ(text(directory_of("\\stub.exe")), "");
  EXPECT_EQ(text(directory_prefix("C:\\stub.exe")), "C:\\");
  EXPECT_EQ(text(directory_prefix("C:\\a\\b.txt")), "C:\\a\\");
  EXPECT_EQ(text(directory_prefix("C:b")), "C:");
  EXPECT_EQ(text(directory_prefix("b.txt")), "");
  EXPECT_EQ(text(directory_prefix("a/b\\c/d")), "a/b\\");
  // A head at a drive root hands over its root, never the drive's current
  // directory.
  EXPECT_EQ(text(drive_root_if_bare(directory_of("C:\\stub.exe"))), "C:\\");
  EXPECT_EQ(text(drive_root_if_bare("d:")), "d:\\");
  EXPECT_EQ(text(drive_root_if_bare("C:x")), "C:x");
  EXPECT_EQ(text(drive_root_if_bare("1:")), "1:");
  EXPECT_EQ(text(drive_root_if_bare("C:\\dir")), "C:\\dir");
}

// Code page 932: a backslash or a letter behind a lead byte is the second
// half of a character (表 is 95 5C, 十 is 8F 5C, ソ is 83 5C).
TEST(PathText, DoubleByteCodePage) {
  struct Japanese {
    Japanese() {
      static constexpr uint8_t ranges[lead_byte_ranges_size] = {0x81, 0x9F, 0xE0, 0xFC};
      set_lead_byte_ranges(ranges);
    }
    ~Japanese() { set_lead_byte_ranges(Bytes12{}.bytes); }
    struct Bytes12 {
      uint8_t bytes[lead_byte_ranges_size] = {};
    };
  } code_page;
  const std::string table = "\x88\xEA\x97\x97\x95\x5C"; // 一覧表
  EXPECT_EQ(text(directory_of(("C:\\" + table + "\\file.txt").c_str())), "C:\\" + table);
  EXPECT_EQ(text(directory_of(("C:\\" + table).c_str())), "C:");
  EXPECT_EQ(text(directory_prefix(("C:\\" + table).c_str())), "C:\\");
  EXPECT_EQ(text(directory_prefix("a\\\x8F\x5C:b")), "a\\\x8F\x5C:");
  EXPECT_FALSE(ends_in_backslash(("C:\\" + table).c_str()));
  EXPECT_TRUE(ends_in_backslash(("C:\\" + table + "\\").c_str()));
  EXPECT_TRUE(ends_in_backslash("C:\\"));
  EXPECT_FALSE(ends_in_backslash(""));
  EXPECT_FALSE(ends_in_backslash("a\x95\\")); // the second half of 表
  // A lead byte at the very end stands alone.
  EXPECT_EQ(text(directory_of("a\\b\x95")), "a");
  EXPECT_TRUE(names_a_file(table.c_str(), int32_t(table.size())));
  EXPECT_FALSE(names_a_file("\x95\x5C\\", 3));
  for (const char* name : {"\x8F\x5C..",
                           "\x95\x5C"
                           "CON",
                           "\x83\x5C\\a.txt", "\x95\x7C"})
    EXPECT_TRUE(is_safe_windows_name(name, int32_t(std::strlen(name)))) << name;
  for (const char* name : {"\x8F\x5C\\..\\x", "\x95\x5C\\CON", "\x95\x5C:x"})
    EXPECT_FALSE(is_safe_windows_name(name, int32_t(std::strlen(name)))) << name;
}

std::string report(uint32_t number, uintptr_t offset) {
  char buffer[report_size];
  std::copy(report_template, report_template + report_size, buffer);
  fill_report(buffer, number, offset);
  return buffer;
}

TEST(Report, Layout) {
  EXPECT_EQ(report(2, 0x1A), "Runtime error   2 at 0000001A");
  EXPECT_EQ(report(203, 0xABCD), "Runtime error 203 at 0000ABCD");
  EXPECT_EQ(report(1234, 0x401000), "Runtime error1234 at 00401000");
  EXPECT_EQ(report(0, 0), "Runtime error   0 at 00000000");
  EXPECT_EQ(report(20, 0xDEADBEEF), "Runtime error  20 at DEADBEEF");
  // Five digits run over the last letter: nothing is widened.
  EXPECT_EQ(report(12345, 1), "Runtime erro12345 at 00000001");
  EXPECT_EQ(std::string(report_template).size(), 29u);
}

TEST(FaultCodes, Table) {
  EXPECT_EQ(error_number_for_exception(0xC0000094), 200);
  EXPECT_EQ(error_number_for_exception(0xC000008E), 200);
  EXPECT_EQ(error_number_for_exception(0xC000008C), 201);
  EXPECT_EQ(error_number_for_exception(0xC00000FD), 202);
  EXPECT_EQ(error_number_for_exception(0xC0000091), 205);
  EXPECT_EQ(error_number_for_exception(0xC000008D), 206);
  EXPECT_EQ(error_number_for_exception(0xC0000093), 206);
  EXPECT_EQ(error_number_for_exception(0xC000008F), 207);
  EXPECT_EQ(error_number_for_exception(0xC0000090), 207);
  EXPECT_EQ(error_number_for_exception(0xC0000092), 207);
  EXPECT_EQ(error_number_for_exception(0xC0000095), 215);
  EXPECT_EQ(error_number_for_exception(0xC0000005), 216);
  EXPECT_EQ(error_number_for_exception(0xC000013A), 217);
  EXPECT_EQ(error_number_for_exception(0xC0000096), 218);
  EXPECT_EQ(error_number_for_exception(0x80000003), 255);
  // Only error statuses match: a known low half under another high half does not.
  EXPECT_EQ(error_number_for_exception(0x80000005), 255);
  EXPECT_EQ(error_number_for_exception(0x00000094), 255);
}

bool exists_in_fake_tree(const String& path) {
  std::string p = text(path);
  return p == "C:\\Program Files\\App\\setup.exe" || p == "C:\\Out\\go.exe" || p == "C:\\x\\my" ||
         p == "C:\\x\\my dir\\setup.exe";
}

TEST(LaunchCommand, Split) {
  auto split = [](const char* command, int32_t shortest = 0) {
    LaunchCommand c = split_launch_command(command, shortest, exists_in_fake_tree);
    return text(c.program) + "|" + text(c.parameters);
  };
  EXPECT_EQ(split("C:\\Out\\go.exe /dir=C:\\Out\\"), "C:\\Out\\go.exe|/dir=C:\\Out\\");
  EXPECT_EQ(split("C:\\Program Files\\App\\setup.exe /S  x"),
            "C:\\Program Files\\App\\setup.exe|/S  x");
  // A path with blanks and no arguments is found whole.
  EXPECT_EQ(split("C:\\Program Files\\App\\setup.exe"), "C:\\Program Files\\App\\setup.exe|");
  // Quoted program: the quotes go, the rest stays as it is.
  EXPECT_EQ(split("\"C:\\A B\\x.exe\" \"q r\" s"), "C:\\A B\\x.exe|\"q r\" s");
  // Nothing exists: the first word.
  EXPECT_EQ(split("C:\\No Such\\x.exe a"), "C:\\No|Such\\x.exe a");
  EXPECT_EQ(split("C:\\Out\\C:\\Out\\"), "C:\\Out\\C:\\Out\\|");
  // No split point inside the target directory "C:\x\my dir\" (12 bytes):
  // the file "C:\x\my" does not take the command over.
  EXPECT_EQ(split("C:\\x\\my dir\\setup.exe /S", 12), "C:\\x\\my dir\\setup.exe|/S");
  EXPECT_EQ(split("C:\\x\\my dir\\missing.exe /S", 12), "C:\\x\\my dir\\missing.exe|/S");
  EXPECT_EQ(split("C:\\x\\my dir\\setup.exe /S"), "C:\\x\\my|dir\\setup.exe /S");
}

bool safe(const std::string& name, bool (*rules)(const char*, int32_t) = is_safe_windows_name) {
  return rules(name.data(), int32_t(name.size()));
}

TEST(NameCheck, RefusesNamesThatLeaveTheTargetOrNameDevices) {
  for (const char* name : {"\\x",        "/x",         "\\\\server\\share\\x",
                           "C:x",        "C:\\x",      "a:b",
                           "..",         "..\\x",      "a\\..\\..\\x",
                           "a/../x",     "...",        ".. ",
                           " ..",        "CON",        "con.txt",
                           "a\\Nul",     "aux.tar.gz", "COM1",
                           "lpt9.log",   "CON ",       "prn.",
                           "COM0",       "lpt0.txt",   "com\xB9",
                           "LPT\xB2.x",  "COM\xB3",    "conin$",
                           "CONOUT$.log"})
    EXPECT_FALSE(safe(name)) << name;
  for (const char* name : {"a.txt", "dir\\sub\\file", ".hidden", "a..b", "..a", "x.", ".", "COM10",
                           "CONSOLE", "LPT", "com1x", "nul_file", "COM\xB4", "CONIN", ""})
    EXPECT_TRUE(safe(name)) << name;
}

TEST(NameCheck, PosixRefusesOnlyWhatLeavesTheTarget) {
  for (const char* name : {"\\x", "/x", "C:", "c:\\x", "D:/x", "..", "a\\..\\x", "a/../x", "../x"})
    EXPECT_FALSE(safe(name, is_safe_posix_name)) << name;
  for (const char* name : {"aux.c", "con.h", "nul", "a:b", "...", ".. ", "x\\COM1", "1:\\x"})
    EXPECT_TRUE(safe(name, is_safe_posix_name)) << name;
}

// The --exclude patterns match alike on every system.
TEST(Glob, Patterns) {
  const struct {
    const char* pattern;
    const char* text;
    bool matches;
  } rows[] = {
      {"*.log", "a.log", true},   {"*.log", "dir/a.log", true}, {"*.log", "a.logs", false},
      {"a?c", "abc", true},       {"a?c", "ac", false},         {"[ab]*", "beta", true},
      {"[ab]*", "gamma", false},  {"[!ab]*", "gamma", true},    {"[^ab]*", "alpha", false},
      {"x[a-c]", "xb", true},     {"x[a-c]", "xd", false},      {"[]]", "]", true},
      {"a\\*", "a*", true},       {"a\\*", "ab", false},        {"[ab", "[ab", true},
      {"*a*b*c", "xaybzc", true}, {"*a*b*c", "xaybz", false},   {"", "", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(packlib::glob_match(row.pattern, row.text), row.matches)
        << row.pattern << " " << row.text;
}

TEST(Utf8, StrictDecoding) {
  const struct {
    const char* text;
    std::vector<uint16_t> units; // empty: refused
  } rows[] = {
      {"a\xC3\xA9", {'a', 0xE9}},
      {"\xE2\x82\xAC", {0x20AC}},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xEF\xBC\x9A", {0xFF1A}},
      {"\xC0\xAF", {}},         // overlong '/'
      {"\xE0\x80\xAF", {}},     // overlong, three bytes
      {"\xED\xA0\x80", {}},     // a surrogate
      {"\xF4\x90\x80\x80", {}}, // past U+10FFFF
      {"\xC3", {}},             // cut short
      {"\xA9", {}},             // a stray continuation byte
      {"\xC3\x28", {}},         // a lead byte without its continuation
  };
  for (const auto& row : rows) {
    uint16_t wide[8];
    int32_t count = utf16_from_utf8(row.text, int32_t(std::strlen(row.text)), wide, 8);
    if (row.units.empty())
      EXPECT_EQ(count, -1) << row.text;
    else
      EXPECT_EQ(std::vector<uint16_t>(wide, wide + std::max(count, 0)), row.units) << row.text;
  }
  uint16_t one[1];
  EXPECT_EQ(utf16_from_utf8("ab", 2, one, 1), -1); // does not fit
  EXPECT_EQ(utf16_from_utf8("", 0, one, 1), 0);
}

TEST(CString, Append) {
  char buffer[8] = {};
  append_c_string(buffer, "\\");
  EXPECT_STREQ(buffer, "\\");
  EXPECT_EQ(c_string_length(buffer), 1);
  append_c_string(buffer, "ab");
  EXPECT_STREQ(buffer, "\\ab");
}

} // namespace
