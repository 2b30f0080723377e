// Which stored names may be written under the target directory.
#pragma once

#include <cstdint>

#include "support/platform/host.h"

// False for a name that would leave the target directory or, on Windows,
// name a device. Components are split at both backslash and slash, a
// character at a time in the system code page.
//
// Windows refuses a leading separator, any colon, a component of only dots
// and blanks with two or more dots (the system drops trailing dots and
// blanks), and a reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// COM and LPT with a superscript 1-3, CONIN$, CONOUT$, in any case, with
// or without an extension).
bool is_safe_windows_name(const char* name, int32_t length);
// POSIX refuses a leading separator, a drive prefix ("C:" alone or before a
// separator) and a ".." component; device names and colons elsewhere are
// ordinary names there.
bool is_safe_posix_name(const char* name, int32_t length);

// Whether the name's last part (behind its last separator) can name a file:
// not empty and not ".", which name the directory itself.
bool names_a_file(const char* name, int32_t length);

// The rules of the system this build runs on. A stub calls only its own
// system's rules, so it carries only those.
inline bool is_safe_output_name(const char* name, int32_t length) {
  return host_is_windows ? is_safe_windows_name(name, length) : is_safe_posix_name(name, length);
}
