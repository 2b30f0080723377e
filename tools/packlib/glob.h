// Shell-style patterns for --exclude, matched the same way on every system.
#pragma once

#include <string_view>

namespace packlib {

// Whether `text` matches `pattern`: '*' any run of bytes (a slash
// included), '?' any one byte, "[...]" one byte of a set with ranges
// ("[a-z]") and "[!...]" or "[^...]" for its complement, a backslash the
// next byte as itself. A '[' that opens no complete set is itself. Bytes,
// not characters, and no classes ("[:alpha:]") or collating elements: the
// same files are packed on every system.
bool glob_match(std::string_view pattern, std::string_view text);

} // namespace packlib
