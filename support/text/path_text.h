// Text operations on Windows-style paths. Pure functions of their arguments.
#pragma once

#include <cstdint>

#include "support/runtime/string.h"

// The text before the last '.' at or after the second byte, then `extension`
// (which carries its own dot). A path with no such dot gets the extension
// appended.
String change_extension(const String& path, const char* extension);

// "sfx", eight upper-case hexadecimal digits of `bits` and ".tmp", with a
// NUL: a name nobody can foresee when the bits are random.
inline constexpr int32_t unique_name_size = 16;
void unique_name(uint32_t bits, char (&name)[unique_name_size]);

// ASCII letters lowered; a byte from 0x80 up starts a two-byte character
// that is passed over whole. Ends at the first NUL.
String lower_case(const String& text);

// Paths below step by character in the system code page (a backslash that
// is the second byte of a double-byte character separates nothing).

// The text before the last backslash at or after the second byte; empty when
// there is none.
String directory_of(const String& path);

// Whether the path's last character is a backslash.
bool ends_in_backslash(const String& path);

// A bare drive ("C:") as its root ("C:\\"); any other path unchanged. A bare
// drive would otherwise be made absolute as that drive's current
// directory.
String drive_root_if_bare(const String& path);

// The text up to and including the last backslash or colon; empty when there
// is none.
String directory_prefix(const String& path);
