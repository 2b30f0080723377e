// Directories, the Windows directory and the current directory.
#include "support/os/system.h"
#include "support/os/seam.h"

#include "package/name_check.h"

#include <windows.h>

#include "support/runtime/termination.h"

const bool windows_name_rules = true;

bool is_safe_output_name(const char* name, int32_t length) {
  return is_safe_windows_name(name, length);
}

// By attributes, so that a name with wildcards matches only itself.
bool file_exists(const String& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool directory_exists(const String& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ANSI paths reach MAX_PATH at most; a longer result counts as a failure.
String full_path(const String& path) {
  char buffer[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length != 0 && length < sizeof buffer ? String(buffer, int32_t(length)) : String();
}

bool create_directory(const String& path) {
  return !os_call_fails(OsCall::make_directory) && CreateDirectoryA(path.c_str(), nullptr) != 0;
}

void delete_file(const char* path) {
  if (!os_call_fails(OsCall::remove))
    DeleteFileA(path);
}

// Windows 9x, the systems that process the list, lack MoveFileExA's
// replacement: there the old file is deleted first.
void replace_file(const char* old_path, const char* new_path) {
  if (os_call_fails(OsCall::move))
    return;
  if (system_is_nt()) {
    MoveFileExA(old_path, new_path, MOVEFILE_REPLACE_EXISTING);
    return;
  }
  DeleteFileA(new_path);
  MoveFileA(old_path, new_path);
}

// Through UTF-16 into the ANSI code page, with no best-fit mapping: a
// character the code page lacks refuses the text rather than becoming
// another (a fullwidth colon would otherwise turn into a drive colon).
bool text_from_utf8(const char* text, int32_t length, String* converted) {
  wchar_t wide[256];
  char narrow[512];
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

String short_path(const String& path) {
  char buffer[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return length != 0 && length < sizeof buffer ? String(buffer, int32_t(length)) : path;
}

uint32_t get_windows_directory(char* buffer, uint32_t size) {
  return GetWindowsDirectoryA(buffer, size);
}

void change_directory(const String& path) {
  if (!SetCurrentDirectoryA(path.c_str()))
    set_io_result(GetLastError());
}
