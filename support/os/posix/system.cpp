// Directories, the state directory that stands for the Windows directory
// and the current directory on POSIX systems.
#include "support/os/system.h"
#include "support/os/seam.h"

#include "package/name_check.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/os/posix/native_path.h"
#include "support/runtime/termination.h"

namespace {

bool native_status(const String& path, struct stat* status) {
  NativePath native = native_path(path.c_str());
  return native.fits && ::stat(native.text, status) == 0;
}

} // namespace

const bool windows_name_rules = false;

bool is_safe_output_name(const char* name, int32_t length) {
  return is_safe_posix_name(name, length);
}

bool file_exists(const String& path) {
  struct stat status;
  return native_status(path, &status) && !S_ISDIR(status.st_mode);
}

bool directory_exists(const String& path) {
  struct stat status;
  return native_status(path, &status) && S_ISDIR(status.st_mode);
}

// Relative paths get the current directory in front; "." and ".." are left
// to the system, which reads them through any links as it goes.
String full_path(const String& path) {
  if (!path.empty() && path[0] == '\\')
    return path;
  char current[PATH_MAX];
  if (!::getcwd(current, sizeof current))
    return String();
  String result = windows_path(current);
  if (result.empty() || result.last_char() != '\\')
    result += '\\';
  return result + path;
}

bool create_directory(const String& path) {
  if (os_call_fails(OsCall::make_directory))
    return false;
  NativePath native = native_path(path.c_str());
  return native.fits && ::mkdir(native.text, 0777) == 0;
}

void delete_file(const char* path) {
  if (os_call_fails(OsCall::remove))
    return;
  NativePath native = native_path(path);
  if (native.fits)
    ::unlink(native.text);
}

void replace_file(const char* old_path, const char* new_path) {
  if (os_call_fails(OsCall::move))
    return;
  NativePath from = native_path(old_path);
  NativePath to = native_path(new_path);
  if (from.fits && to.fits)
    ::rename(from.text, to.text);
}

bool text_from_utf8(const char* text, int32_t length, String* converted) {
  *converted = String(text, length);
  return true;
}

bool system_is_nt() {
  return false;
}

bool system_has_restart_list() {
  return false;
}

String short_path(const String& path) {
  return path;
}

// $XDG_STATE_HOME, else $HOME/.local/state, created when missing.
uint32_t get_windows_directory(char* buffer, uint32_t size) {
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
    ::mkdir(directory, 0700);
    std::strcat(directory, "/state");
  } else {
    return 0;
  }
  size_t length = std::strlen(directory);
  while (length > 1 && directory[length - 1] == '/')
    directory[--length] = '\0';
  ::mkdir(directory, 0700);
  uint32_t written = windows_path(directory, buffer, size);
  return written < size ? written : 0;
}

void change_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  if (!native.fits)
    set_io_result(ENAMETOOLONG);
  else if (::chdir(native.text) != 0)
    set_io_result(static_cast<uint32_t>(errno));
}
