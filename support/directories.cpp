// Directory creation shared by every platform.
#include "support/path_text.h"
#include "support/system.h"

void force_directories(const String& path) {
  if (path.empty())
    return;
  String directory = path;
  if (directory.last_char() == '\\')
    directory = directory.substring(0, directory.length() - 1);
  if (directory.length() < 3)
    return;
  if (directory_exists(directory))
    return;
  String parent = directory_prefix(directory);
  if (parent == directory)
    return;
  force_directories(parent);
  create_directory(directory);
}
