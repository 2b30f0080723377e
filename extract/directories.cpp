// Directory creation shared by every platform.
#include "extract/directories.h"

#include "support/base/code_page.h"
#include "support/os/paths.h"
#include "support/text/path_text.h"

namespace {

// A path of one or two bytes is still a directory to create when it is a
// plain relative name such as "ab"; "C:", "\", "." and ".." are where the
// walk up ends.
bool is_plain_short_name(const String& path) {
  bool only_dots = true;
  for (int32_t i = 0; i < path.length(); i = next_character(path.c_str(), path.length(), i)) {
    if (path[i] == ':' || path[i] == '\\')
      return false;
    if (path[i] != '.')
      only_dots = false;
  }
  return !only_dots;
}

} // namespace

void force_directories(const String& path) {
  if (path.empty())
    return;
  String directory = path;
  if (ends_in_backslash(directory))
    directory = directory.substring(0, directory.length() - 1);
  if (directory.length() < 3 && !is_plain_short_name(directory))
    return;
  if (directory_exists(directory))
    return;
  String parent = directory_prefix(directory);
  if (parent == directory)
    return;
  force_directories(parent);
  create_directory(directory);
}
