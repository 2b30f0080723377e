// System facts on Windows: its version, its code page and its directory.
#include "support/os/system.h"
#include "support/os/seam.h"

#include "support/os/win32/system_calls.h"

#include "support/base/bytes.h"
#include "support/base/code_page.h"
#include "support/text/utf8.h"

// Decoded by the stub (Windows 95 has no UTF-8 conversion), then into the
// ANSI code page and back: only text that comes back the same is taken, so
// a character the code page lacks refuses the text rather than becoming
// another by best fit (a fullwidth colon would otherwise turn into a drive
// colon). The flag that forbids best fit is refused by 95 to NT 4 and where
// the code page is UTF-8; the way back works everywhere. Where the ANSI
// code page is UTF-8 itself, well-formed text passes as it is.
bool text_from_utf8(const char* text, int32_t length, String* converted) {
  wchar_t wide[256];
  wchar_t back[256];
  char narrow[512];
  if (os_call_fails(OsCall::query))
    return false;
  int32_t wide_length = utf16_from_utf8(text, length, reinterpret_cast<uint16_t*>(wide), 256);
  if (wide_length < 0)
    return false;
  if (os_answer(OsCall::code_page, sys::GetACP()) == CP_UTF8) {
    *converted = String(text, length);
    return true;
  }
  int narrow_length = wide_length == 0
                          ? 0
                          : sys::WideCharToMultiByte(CP_ACP, 0, wide, wide_length, narrow,
                                                     sizeof narrow, nullptr, nullptr);
  int back_length = narrow_length == 0
                        ? 0
                        : sys::MultiByteToWideChar(CP_ACP, 0, narrow, narrow_length, back, 256);
  if (back_length != wide_length || !same_bytes(back, wide, size_t(wide_length) * sizeof *wide))
    return false;
  *converted = String(narrow, narrow_length);
  return true;
}

// Only double-byte code pages have lead bytes that matter to a walk; the
// table stays empty for single-byte ones and for UTF-8, whose later bytes
// are never ASCII.
void load_code_page() {
  CPINFO info;
  if (sys::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2)
    set_lead_byte_ranges(info.LeadByte);
}

bool system_is_nt() {
  return (sys::GetVersion() & 0x80000000) == 0;
}

uint32_t get_windows_directory(char* buffer, uint32_t size) {
  return sys::GetWindowsDirectoryA(buffer, size);
}
