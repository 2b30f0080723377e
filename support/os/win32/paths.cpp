// Files and directories by path on Windows.
#include "support/os/paths.h"
#include "support/os/seam.h"
#include "support/os/system.h"

#include "support/os/win32/system_calls.h"

#include "support/runtime/termination.h"

// By attributes, so that a name with wildcards matches only itself.
bool file_exists(const String& path) {
  DWORD attributes = sys::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool directory_exists(const String& path) {
  DWORD attributes = sys::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ANSI paths reach MAX_PATH at most; a longer result counts as a failure.
String full_path(const String& path) {
  char buffer[MAX_PATH];
  DWORD length = sys::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length != 0 && length < sizeof buffer ? String(buffer, int32_t(length)) : String();
}

bool create_directory(const String& path) {
  return !os_call_fails(OsCall::make_directory) &&
         sys::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

void delete_file(const char* path) {
  if (!os_call_fails(OsCall::remove))
    sys::DeleteFileA(path);
}

// Windows 9x, the systems that process the list, lack MoveFileExA's
// replacement: there the old file is deleted first.
void replace_file(const char* old_path, const char* new_path) {
  if (os_call_fails(OsCall::move))
    return;
  if (system_is_nt()) {
    sys::MoveFileExA(old_path, new_path, MOVEFILE_REPLACE_EXISTING);
    return;
  }
  sys::DeleteFileA(new_path);
  sys::MoveFileA(old_path, new_path);
}

String short_path(const String& path) {
  char buffer[MAX_PATH];
  DWORD length = sys::GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return length != 0 && length < sizeof buffer ? String(buffer, int32_t(length)) : path;
}

void change_directory(const String& path) {
  if (!sys::SetCurrentDirectoryA(path.c_str()))
    set_io_result(sys::GetLastError());
}
