// System facts on POSIX systems.
#include "support/os/system.h"
#include "support/os/seam.h"

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

// POSIX systems keep no restart-rename list and have no Windows directory.
uint32_t get_windows_directory(char*, uint32_t) {
  return 0;
}
