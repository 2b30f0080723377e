// Path text operations.
#include "support/text/path_text.h"

#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/base/code_page.h"

String change_extension(const String& path, const char* extension) {
  return path.substring(0, extension_position(path.c_str(), path.length())) + extension;
}

void unique_name(uint32_t bits, char (&name)[unique_name_size]) {
  copy_bytes(name, "sfx00000000.tmp", unique_name_size);
  for (int32_t i = 0; i < 8; ++i)
    name[3 + i] = hex_digit(bits >> (28 - 4 * i));
}

String lower_case(const String& text) {
  String result(text.c_str(), c_string_length(text.c_str()));
  char* bytes = result.data();
  int32_t length = result.length();
  for (int32_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80)
      ++i;
    else if (byte >= 'A' && byte <= 'Z')
      bytes[i] = static_cast<char>(byte + 0x20);
  }
  return result;
}

// Paths are walked forward, a character at a time: a backslash may be the
// second byte of a double-byte character, which only its lead byte tells.
String directory_of(const String& path) {
  int32_t last = -1;
  for (int32_t i = 0; i < path.length(); i = next_character(path.c_str(), path.length(), i))
    if (i >= 1 && path[i] == '\\')
      last = i;
  return last < 0 ? String() : path.substring(0, last);
}

bool ends_in_backslash(const String& path) {
  int32_t last = -1;
  for (int32_t i = 0; i < path.length(); i = next_character(path.c_str(), path.length(), i))
    last = i;
  return last >= 0 && path[last] == '\\';
}

String drive_root_if_bare(const String& path) {
  bool bare = path.length() == 2 && path[1] == ':' &&
              ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return bare ? path + "\\" : path;
}

String directory_prefix(const String& path) {
  int32_t end = 0;
  for (int32_t i = 0; i < path.length(); i = next_character(path.c_str(), path.length(), i))
    if (path[i] == '\\' || path[i] == ':')
      end = i + 1;
  return path.substring(0, end);
}
