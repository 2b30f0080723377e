// Pattern matching with one backtracking point: the last star seen.
#include "tools/packlib/glob.h"

#include <cstddef>

namespace packlib {

namespace {

// Matches one byte against the set that starts at `pattern[at]` ('['):
// answers where the set ends (behind its ']'), or 0 when it is no
// complete set.
size_t match_set(std::string_view pattern, size_t at, unsigned char byte, bool* matched) {
  size_t p = at + 1;
  bool negated = p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^');
  if (negated)
    ++p;
  bool found = false;
  for (bool first = true; p < pattern.size(); first = false) {
    if (pattern[p] == ']' && !first) {
      *matched = found != negated;
      return p + 1;
    }
    if (pattern[p] == '\\' && p + 1 < pattern.size())
      ++p;
    unsigned char low = static_cast<unsigned char>(pattern[p]), high = low;
    if (p + 2 < pattern.size() && pattern[p + 1] == '-' && pattern[p + 2] != ']') {
      p += 2;
      if (pattern[p] == '\\' && p + 1 < pattern.size())
        ++p;
      high = static_cast<unsigned char>(pattern[p]);
    }
    found = found || (low <= byte && byte <= high);
    ++p;
  }
  return 0;
}

} // namespace

bool glob_match(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      char c = pattern[p];
      if (c == '*') {
        star = ++p;
        resume = t;
        continue;
      }
      size_t next = 0;
      bool matched = false;
      if (c == '?') {
        next = p + 1;
        matched = true;
      } else if (c == '[') {
        next = match_set(pattern, p, static_cast<unsigned char>(text[t]), &matched);
      }
      if (next == 0) { // a byte as itself, also a '[' that opens no set
        if (c == '\\' && p + 1 < pattern.size())
          c = pattern[++p];
        next = p + 1;
        matched = c == text[t];
      }
      if (matched) {
        p = next;
        ++t;
        continue;
      }
    }
    if (star == std::string_view::npos)
      return false;
    p = star;
    t = ++resume;
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

} // namespace packlib
