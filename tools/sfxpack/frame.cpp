// sfxpack's process frame for the stub's engine: the engine reads no
// arguments of its own, and what would end the stub in a message box (only
// running out of memory can, in the tool) ends sfxpack with a line on
// stderr and the stub's exit code.
#include <cstdio>
#include <cstdlib>

#include "support/os/process.h"
#include "support/platform/process_exit.h"
#include "tools/sfxpack/frame.h"

int32_t argument_count() {
  return 0;
}

String argument(int32_t) {
  return String();
}

int32_t arguments_behind(int32_t, String** words) {
  *words = nullptr;
  return 0;
}

bool write_standard(int32_t stream, const char* text, int32_t length) {
  return std::fwrite(text, 1, size_t(length), stream == 1 ? stdout : stderr) == size_t(length);
}

int show_message(const char* text, const char* caption, uint32_t) {
  std::fprintf(stderr, "sfxpack: %s: %s\n", caption, text);
  return 1;
}

void end_process(int32_t exit_code) {
  std::fflush(nullptr);
  std::_Exit(exit_code);
}
