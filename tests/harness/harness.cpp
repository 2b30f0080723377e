#include "harness/harness.h"

#include <csetjmp>
#include <fstream>
#include <random>
#include <sstream>

#include <set>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include "extract/self_check.h"
#include "package/seal.h"
#include "support/os/process.h"
#include "support/platform/process_exit.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/command_line.h"
#include "tools/packlib/file_io.h"

namespace harness {

namespace {

const Setup* current = nullptr;
std::string command_line;
// The own file as the stub sees it, made before the run: a run that ends
// inside `argument` must leave no temporary behind.
std::string own_path;
Outcome* outcome = nullptr;
// On Windows the compiler's own setjmp: the C library's there unwinds
// through frames by their unwind tables, which the stub's code is built
// without. Elsewhere the C library's, which sanitizers know about.
#ifdef _WIN32
void* end_of_run[5];
#define SFX_SETJMP(buffer) __builtin_setjmp(buffer)
#define SFX_LONGJMP(buffer) __builtin_longjmp(buffer, 1)
#else
std::jmp_buf end_of_run;
#define SFX_SETJMP(buffer) setjmp(buffer)
#define SFX_LONGJMP(buffer) std::longjmp(buffer, 1)
#endif

#ifdef _WIN32
// The handles open in the process, probed by value: handle values are small
// multiples of four.
std::set<intptr_t> open_handles() {
  std::set<intptr_t> found;
  for (intptr_t value = 4; value < 16384; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      found.insert(value);
  }
  return found;
}

void close_handle(intptr_t value) {
  CloseHandle(reinterpret_cast<HANDLE>(value));
}
#else
std::set<intptr_t> open_handles() {
  std::set<intptr_t> found;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(directory))
      if (entry->d_name[0] != '.')
        found.insert(std::atoi(entry->d_name));
    closedir(directory);
  }
  return found;
}

void close_handle(intptr_t value) {
  close(int(value));
}
#endif

} // namespace

std::string message_text(const std::vector<Message>& messages, const std::string& caption) {
  for (const Message& message : messages)
    if (message.caption == caption)
      return message.text;
  return "";
}

std::string Outcome::warning() const {
  return message_text(messages, "Warning");
}

std::string Outcome::report() const {
  return message_text(messages, "Error");
}

void use_directories(const std::filesystem::path& temp) {
#ifdef _WIN32
  SetEnvironmentVariableA("TMP", (stub_path(temp) + "\\").c_str());
#else
  setenv("TMPDIR", temp.c_str(), 1);
#endif
}

std::string stub_path(const std::filesystem::path& path) {
  std::string text = path.string();
  for (char& c : text)
    if (c == '/')
      c = '\\';
  return text;
}

Outcome run(const Setup& setup, void (*body)()) {
  Outcome result;
  current = &setup;
  command_line = "stub.exe " + setup.arguments;
  own_path = stub_path(setup.own_file);
  outcome = &result;
  std::set<intptr_t> before = open_handles();
  std::error_code ignored;
  std::filesystem::path directory = std::filesystem::current_path(ignored);
  reset_termination();
  if (SFX_SETJMP(end_of_run) == 0) {
    body();
  }
  // The system closes a process's files when it ends; do the same here.
  for (intptr_t handle : open_handles())
    if (!before.count(handle))
      close_handle(handle);
  result.largest_block = heap_largest_block();
  heap_release_all();
  std::filesystem::current_path(directory, ignored);
  current = nullptr;
  outcome = nullptr;
  return result;
}

TempDir::TempDir() {
  static std::mt19937_64 random{std::random_device{}()};
  // Fixed at the first use: tests point the stub's temp directory elsewhere.
  static const std::filesystem::path base = std::filesystem::temp_directory_path();
  path_ = base / ("sfx-test-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void write_text(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

} // namespace harness

// ---- the process frame, as the code under test sees it ----------------------

int32_t argument_count() {
  return count_arguments(harness::command_line.c_str());
}

String argument(int32_t n) {
  if (n == 0)
    return String(harness::own_path.c_str());
  return argument_from(harness::command_line.c_str(), n);
}

int32_t arguments_behind(int32_t n, String** words) {
  return rest_of_line(behind_arguments(harness::command_line.c_str(), n), words);
}

bool write_standard(int32_t stream, const char* text, int32_t length) {
  (stream == 1 ? harness::outcome->output : harness::outcome->errors).append(text, size_t(length));
  return true;
}

int show_message(const char* text, const char* caption, uint32_t) {
  harness::outcome->messages.push_back({caption, text});
  return 1;
}

void end_process(int32_t exit_code) {
  harness::outcome->ended = true;
  harness::outcome->exit_code = exit_code;
  SFX_LONGJMP(harness::end_of_run);
}

// A matching seal covers the whole own file, so any crafted file passes the
// self-check; an unsealed one fails it.
SealRecord own_seal() {
  SealRecord seal{{}, 0, 0, 0};
  if (harness::current->seal == harness::Seal::unsealed)
    return seal;
  std::vector<uint8_t> bytes = packlib::read_whole_file(harness::current->own_file);
  seal.offset = 0xFFFFFFF0;
  seal.length = uint32_t(bytes.size());
  seal.crc = seal_crc(bytes.data(), seal.length, seal.offset);
  return seal;
}
