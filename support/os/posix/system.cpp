// System facts on POSIX systems, and the state directory that stands for
// the Windows directory.
#include "support/os/system.h"
#include "support/os/seam.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/os/posix/native_path.h"

bool text_from_utf8(const char* text, int32_t length, String* converted) {
  if (os_call_fails(OsCall::query))
    return false;
  *converted = String(text, length);
  return true;
}

void load_code_page() {}

bool system_is_nt() {
  return false;
}

namespace {

// The directory for the list where it is missing; a failure shows when
// the list cannot be opened there.
void make_state_directory(const char* path) {
  if (!os_call_fails(OsCall::make_directory))
    ::mkdir(path, 0700);
}

} // namespace

// $XDG_STATE_HOME, else $HOME/.local/state, created when missing.
uint32_t get_windows_directory(char* buffer, uint32_t size) {
  if (os_call_fails(OsCall::query))
    return 0;
  char directory[PATH_MAX];
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  if (state && *state) {
    if (std::strlen(state) >= sizeof directory)
      return 0;
    std::strcpy(directory, state);
  } else if (home && *home && std::strlen(home) + 14 < sizeof directory) {
    std::strcpy(directory, home);
    std::strcat(directory, "/.local");
    make_state_directory(directory);
    std::strcat(directory, "/state");
  } else {
    return 0;
  }
  size_t length = std::strlen(directory);
  while (length > 1 && directory[length - 1] == '/')
    directory[--length] = '\0';
  make_state_directory(directory);
  uint32_t written = windows_path(directory, buffer, size);
  return written < size ? written : 0;
}
