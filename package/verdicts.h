// What a run of the stub found and what it says of it: one table of every
// "Warning" message, for the stub, sfxpack and the tests, checked when it
// is compiled.
#pragma once

#include <cstdint>

// What reading a package found; `ok` or the first failure in reading order.
// The stub shows each failure as one message, the tools as one line.
enum class Verdict : uint8_t {
  ok,
  end_unreachable,       // the source cannot be positioned at its end
  no_trailer,            // the last bytes are not the trailer
  offset_unreachable,    // the package offset cannot be reached
  no_header,             // no magic at the package offset
  records_end_elsewhere, // the records end at neither the run record nor the trailer
  name_length_rejected,  // a file record's name length is 255
  stream_beyond_end,     // a stream is larger than the package holds
  run_length_rejected,   // the run record's length is 255
  // Verdicts of reading each record.
  stream_damaged,
  output_not_created,
  name_unsafe,
  output_incomplete,
  command_too_long,
  checksum_mismatch, // the package checksum does not match its bytes
  // Content reaching 2^31 bytes, past the format's sizes: no message, the
  // stub ends in run-time error 203 as when memory runs out.
  content_too_large,
};

// The stub's own failures around the package, numbered on behind the
// verdicts in the same table.
enum class RunFailure : uint8_t {
  stub_altered = uint8_t(Verdict::content_too_large) + 1, // the stub's bytes fail its seal
  set_too_large,     // a split-set header announces more than 200 files
  set_not_combined,  // a split set could not be joined
  setup_not_started, // a setup command to wait for could not be started
};

// What the person in front of the installer can do, in one sentence that
// a package reading options has shown behind the fixed message. `folder`
// is followed by the folder's path.
enum class Advice : uint8_t {
  none,
  download_again,
  folder,
  refused_name,
  set_parts,
  not_started,
  shorter_folder
};
inline constexpr const char* advice_text[] = {
    "",
    "The installer file is damaged or incomplete; download it again.",
    "This folder cannot be written: ",
    "The installer would write outside its folder and was stopped.",
    ("A part of the split installer is missing; keep all its parts (.F01, .F02, ...) in one "
     "folder."),
    "The setup program could not be started.",
    "The folder's path is too long for the setup; choose a shorter one with --target.",
};

struct WarningEntry {
  uint8_t number;          // the enumerator's value
  const char* message;     // as the stub shows it; null where it shows none
  const char* explanation; // what it means, in plain words (sfxpack's lines)
  bool by_package;         // decided by the package's bytes, whatever the system
  Advice advice;
};

inline constexpr WarningEntry warning_table[] = {
    {0, nullptr, "a whole package", true, Advice::none},
    {1, "File format error(1)!", "file shorter than the 8-byte trailer", true,
     Advice::download_again},
    {2, "File format error(2)!", "no package trailer (not an installer)", true,
     Advice::download_again},
    {3, "File format error(3)!", "package offset out of range", true, Advice::download_again},
    {4, "File format error(4)!", "no package header at the package offset", true,
     Advice::download_again},
    {5, "File format error(5)!", "the records end at neither the run record nor the trailer", true,
     Advice::download_again},
    {6, "File Read error(1)!", "record name length 255", true, Advice::download_again},
    {7, "File Read error(2)!", "a stream runs past the end of the package", true,
     Advice::download_again},
    {8, "File Read Execution File error(1)!", "run record length 255", true,
     Advice::download_again},
    {9, "File Decompress error(1)!", "a stream does not inflate to its end, or has bytes behind it",
     true, Advice::download_again},
    {10, "File Output error(1)!",
     "a file cannot be created, or a name names no file (empty, or ending in a separator or "
     "\".\")",
     false, Advice::folder},
    {11, "File Output error(2)!", "a name would leave the target directory or name a device", true,
     Advice::refused_name},
    {12, "File Output error(3)!", "a file could not be written whole", false, Advice::folder},
    {13, "File Read Execution File error(2)!",
     "the setup command is longer than 255 bytes once the target directory is put in", true,
     Advice::shorter_folder},
    {14, "File check error(2)!", "the package checksum does not match (damaged or changed)", true,
     Advice::download_again},
    {15, nullptr, "a file's content reaches 2 GiB (the installer ends in \"Runtime error 203\")",
     true, Advice::none},
    {16, "File check error(1)!", "the stub's bytes do not match its seal", true,
     Advice::download_again},
    {17, "File format error(100)!", "the split-set header announces more than 200 files", true,
     Advice::download_again},
    {18, "Combine error!!", "the split set could not be joined (a volume missing or damaged)",
     false, Advice::set_parts},
    {19, "File Read Execution File error(3)!", "the setup command could not be started", false,
     Advice::not_started},
};
inline constexpr int32_t warning_count = sizeof warning_table / sizeof warning_table[0];

// The room a message takes with its NUL.
inline constexpr int32_t verdict_message_size = 40;

// "File format error(N)!" for N from 1 to 5 is built from one template in
// the stub, so that the texts do not each take their own bytes there.
inline constexpr char format_error_template[] = "File format error(0)!";
inline constexpr int32_t format_error_digit = 18;
inline constexpr int32_t last_format_error = 5;

namespace verdict_checks {
constexpr bool same_text(const char* left, const char* right) {
  while (*left && *left == *right)
    ++left, ++right;
  return *left == *right;
}
constexpr int32_t text_length(const char* text) {
  int32_t length = 0;
  while (text[length])
    ++length;
  return length;
}
constexpr bool table_is_sound() {
  for (int32_t i = 0; i < warning_count; ++i) {
    const WarningEntry& entry = warning_table[i];
    if (entry.number != i || !entry.explanation)
      return false;
    if (entry.message && text_length(entry.message) >= verdict_message_size)
      return false;
    bool shown = i != 0 && i != int32_t(Verdict::content_too_large);
    if (shown != (entry.message != nullptr))
      return false;
    if (i >= 1 && i <= last_format_error) {
      char built[sizeof format_error_template] = {};
      for (int32_t at = 0; at < int32_t(sizeof built); ++at)
        built[at] = format_error_template[at];
      built[format_error_digit] = char('0' + i);
      if (!same_text(built, entry.message))
        return false;
    }
  }
  return warning_count == int32_t(RunFailure::setup_not_started) + 1;
}
} // namespace verdict_checks
static_assert(verdict_checks::table_is_sound(),
              "one entry per verdict and failure, in order, each message fitting its buffer");

constexpr const WarningEntry& warning_entry(Verdict verdict) {
  return warning_table[uint8_t(verdict)];
}
constexpr const WarningEntry& warning_entry(RunFailure failure) {
  return warning_table[uint8_t(failure)];
}

// The stub's message for entry `number` (not `ok`), as the user sees it;
// empty for the one without a message.
void warning_message(uint8_t number, char (&text)[verdict_message_size]);
// The advice shown behind entry `number`'s message.
Advice warning_advice(uint8_t number);
inline void verdict_message(Verdict verdict, char (&text)[verdict_message_size]) {
  warning_message(uint8_t(verdict), text);
}
