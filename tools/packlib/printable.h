// Stored names, commands and paths as sfxpack prints them: nothing in a name
// may move the cursor, start a line, reorder the text around it or be
// mistaken for another name.
#pragma once

#include <string>
#include <string_view>

namespace packlib {

// Whether `text` is well-formed UTF-8 (the stub's own strict rules).
bool is_utf8(std::string_view text);

// `text` for a terminal: C0 controls, DEL and C1 controls as bytes as
// \xNN, C1 controls and the bidirectional controls (U+202A to U+202E,
// U+2066 to U+2069) in UTF-8 as \uNNNN; newlines too unless
// `keep_newlines` (for a message of several lines).
std::string printable(std::string_view text, bool keep_newlines = false);

// A JSON string: UTF-8 as it is, controls escaped as above; in a name that
// is not UTF-8, each byte from 0x80 up as the Latin-1 character of that
// value (see `json_bytes` for a form that cannot be mistaken).
std::string json_text(std::string_view text);

// The bytes of `text` in lower-case hex, as a JSON string.
std::string json_bytes(std::string_view text);

} // namespace packlib
