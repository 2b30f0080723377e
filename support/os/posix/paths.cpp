// Files and directories by path on POSIX systems: paths come in the
// stub's form (backslashes) and are turned into native ones.
#include "support/os/paths.h"
#include "support/os/seam.h"

#include <climits>

#include "support/os/posix/native_path.h"
#include "support/os/posix/system_calls.h"
#include "support/runtime/termination.h"

namespace {

bool native_status(const String& path, struct stat* status) {
  NativePath native = native_path(path.c_str());
  return native.fits && sys::stat(native.text, status) == 0;
}

} // namespace

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
  if (!sys::getcwd(current, sizeof current))
    return String();
  String result = windows_path(current);
  if (result.empty() || result.last_char() != '\\')
    result += '\\';
  return result + path;
}

bool create_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  return native.fits && sys::mkdir(native.text, 0777) == 0;
}

void delete_file(const char* path) {
  if (os_call_fails(OsCall::remove))
    return;
  NativePath native = native_path(path);
  if (native.fits)
    sys::unlink(native.text);
}

void replace_file(const char* old_path, const char* new_path) {
  NativePath from = native_path(old_path);
  NativePath to = native_path(new_path);
  if (from.fits && to.fits)
    sys::rename(from.text, to.text);
}

// No short form here: the path stands.
String short_path(const String& path) {
  return path;
}

void change_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  if (!native.fits)
    set_io_result(ENAMETOOLONG);
  else if (sys::chdir(native.text) != 0)
    set_io_result(static_cast<uint32_t>(errno));
}
