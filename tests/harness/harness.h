// Runs the stub's logic inside a test process.
//
// The harness stands in for the process frame: it gives the code under test
// a command line and an own file, records the messages it shows, and turns
// the end of the process into a return to the test. Between runs the stub's
// heap is given back whole, as at the end of a real process, so a test holds
// no stub String across a run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace harness {

struct Message {
  std::string caption;
  std::string text;
};

// The text of the first message with that caption, or "".
std::string message_text(const std::vector<Message>& messages, const std::string& caption);

// Points the stub's temp directory and the directory of its restart list
// (on Windows the list stays in the Windows directory) at test folders.
void use_directories(const std::filesystem::path& temp);

struct Outcome {
  bool ended = false; // the code under test ended the "process"
  int32_t exit_code = 0;
  std::vector<Message> messages;
  int32_t largest_block = 0;  // the largest heap block the run took
  std::string output, errors; // written to standard output and standard error
  // The only "Warning" text, or "" when there was none.
  std::string warning() const;
  // The "Error" report, or "".
  std::string report() const;
};

enum class Seal { matching, unsealed };

struct Setup {
  std::filesystem::path own_file;
  std::string arguments; // the command line behind the program name
  Seal seal = Seal::matching;
};

// Runs `body` as the process's main routine.
Outcome run(const Setup& setup, void (*body)());

// Runs the stub driver.
Outcome run_stub(const Setup& setup);

// The path as the stub's logic sees it: backslashes on every platform.
std::string stub_path(const std::filesystem::path& path);

// A fresh directory that is removed with the object.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

std::string read_text(const std::filesystem::path& path);
void write_text(const std::filesystem::path& path, const std::string& text);

} // namespace harness
