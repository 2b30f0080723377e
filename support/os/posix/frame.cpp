// The process frame of the POSIX stub: arguments from argv (with slashes
// made backslashes, as the logic expects Windows-style paths), messages as
// one line on stderr, and the end of the process. Linked into the stub
// alone: tests and tools give frames of their own.
#include "support/os/posix/frame.h"

#include <climits>

#include "support/base/c_string.h"
#include "support/os/posix/native_path.h"
#include "support/os/posix/platform.h"
#include "support/os/posix/system_calls.h"
#include "support/os/process.h"
#include "support/platform/process_exit.h"

namespace {
int total_arguments = 0;
char** argument_values = nullptr;

void write_text(const char* text) {
  write_standard(2, text, c_string_length(text));
}

// The n-th non-empty argument, 0 past the last.
const char* nth_argument(int32_t n) {
  for (int i = 1; i < total_arguments; ++i)
    if (argument_values[i][0] != '\0' && --n == 0)
      return argument_values[i];
  return nullptr;
}
} // namespace

void take_arguments(int argc, char** argv) {
  total_arguments = argc;
  argument_values = argv;
}

int32_t argument_count() {
  int32_t count = 0;
  for (int i = 1; i < total_arguments; ++i)
    if (argument_values[i][0] != '\0')
      ++count;
  return count;
}

String argument(int32_t n) {
  if (n == 0) {
    char path[PATH_MAX];
    char native[PATH_MAX];
    if (!own_executable_path(native, sizeof native))
      return String();
    windows_path(native, path, sizeof path);
    return String(path);
  }
  const char* given = nth_argument(n);
  return given ? windows_path(given) : String();
}

int32_t arguments_behind(int32_t n, String** words) {
  int first = total_arguments;
  for (int i = 1; i < total_arguments; ++i)
    if (argument_values[i][0] != '\0' && --n == 0)
      first = i + 1;
  int32_t count = n <= 0 ? int32_t(total_arguments - first) : 0;
  *words = new_strings(count);
  for (int32_t i = 0; i < count; ++i)
    (*words)[i] = argument_values[first + i];
  return count;
}

bool write_standard(int32_t stream, const char* text, int32_t length) {
  while (length > 0) {
    ssize_t written = sys::write(stream, text, size_t(length));
    if (written <= 0)
      return false;
    text += written;
    length -= int32_t(written);
  }
  return true;
}

int show_message(const char* text, const char* caption, uint32_t) {
  write_text(caption);
  write_text(": ");
  write_text(text);
  write_text("\n");
  return 1;
}

void end_process(int32_t exit_code) {
  sys::_exit(exit_code);
}
