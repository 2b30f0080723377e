// The process frame of the POSIX stub: arguments from argv (with slashes
// made backslashes, as the logic expects Windows-style paths), messages as
// one line on stderr, and the end of the process.
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "driver/driver.h"
#include "support/base/c_string.h"
#include "support/os/fault.h"
#include "support/os/posix/native_path.h"
#include "support/os/process.h"
#include "support/os/process_exit.h"
#include "support/runtime/termination.h"

namespace {
int total_arguments = 0;
char** argument_values = nullptr;

void write_text(const char* text) {
  ssize_t ignored = ::write(2, text, static_cast<size_t>(c_string_length(text)));
  (void)ignored;
}
} // namespace

int main(int argc, char** argv) {
  total_arguments = argc;
  argument_values = argv;
  reset_termination();
  install_fault_handler();
  stub_main();
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
    if (!::realpath("/proc/self/exe", native))
      return String();
    windows_path(native, path, sizeof path);
    return String(path);
  }
  for (int i = 1; i < total_arguments; ++i) {
    if (argument_values[i][0] == '\0')
      continue;
    if (--n == 0)
      return windows_path(argument_values[i]);
  }
  return String();
}

int show_message(const char* text, const char* caption, uint32_t) {
  write_text(caption);
  write_text(": ");
  write_text(text);
  write_text("\n");
  return 1;
}

void end_process(int32_t exit_code) {
  ::_exit(exit_code);
}
