// System facts on Windows: its version, its code page and its directory.
#include "support/os/system.h"
#include "support/os/seam.h"

#include <windows.h>

// Through UTF-16 into the ANSI code page, with no best-fit mapping: a
// character the code page lacks refuses the text rather than becoming
// another (a fullwidth colon would otherwise turn into a drive colon).
bool text_from_utf8(const char* text, int32_t length, String* converted) {
  wchar_t wide[256];
  char narrow[512];
  if (os_call_fails(OsCall::query))
    return false;
  int wide_length =
      length == 0 ? 0 : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide, 256);
  BOOL used_default = FALSE;
  int narrow_length = wide_length == 0
                          ? 0
                          : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wide_length,
                                                narrow, sizeof narrow, nullptr, &used_default);
  if (length != 0 && (narrow_length == 0 || used_default))
    return false;
  *converted = String(narrow, narrow_length);
  return true;
}

bool system_is_nt() {
  return (GetVersion() & 0x80000000) == 0;
}

bool system_has_restart_list() {
  return true;
}

uint32_t get_windows_directory(char* buffer, uint32_t size) {
  return os_call_fails(OsCall::query) ? 0 : GetWindowsDirectoryA(buffer, size);
}
