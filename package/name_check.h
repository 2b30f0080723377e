// Which stored names may be written under the target directory.
#pragma once

#include <cstdint>

// False for a name that would leave the target directory or name a device:
// a leading separator, any colon, a component of only dots and blanks with
// two or more dots, or a reserved device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, in any case, with or without an extension). Components are split
// at both backslash and slash.
bool is_safe_name(const char* name, int32_t length);
