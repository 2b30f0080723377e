// Command-line splitting by the stub's rules.
#include "support/text/command_line.h"

String next_argument(const char** cursor) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(*cursor);
  for (;;) {
    while (*p >= 0x01 && *p <= 0x20)
      ++p;
    if (p[0] == '"' && p[1] == '"')
      p += 2;
    else
      break;
  }
  String token;
  while (*p > 0x20 && token.length() < longest_argument) {
    if (*p == '"') {
      ++p;
      // Quoted text keeps blanks; the bound holds inside quotes as well.
      while (*p && *p != '"' && token.length() < longest_argument)
        token += static_cast<char>(*p++);
      if (*p == '"')
        ++p;
    } else {
      token += static_cast<char>(*p++);
    }
  }
  *cursor = reinterpret_cast<const char*>(p);
  return token;
}

int32_t count_arguments(const char* command_line) {
  const char* cursor = command_line;
  next_argument(&cursor);
  int32_t count = 0;
  while (!next_argument(&cursor).empty())
    ++count;
  return count;
}

String argument_from(const char* command_line, int32_t n) {
  const char* cursor = command_line;
  next_argument(&cursor);
  String token;
  for (int32_t i = 1; i <= n; ++i) {
    token = next_argument(&cursor);
    if (token.empty())
      break;
  }
  return token;
}

const char* behind_arguments(const char* command_line, int32_t n) {
  const char* cursor = command_line;
  for (int32_t i = 0; i <= n; ++i)
    next_argument(&cursor);
  while (*cursor == ' ' || *cursor == '\t')
    ++cursor;
  return cursor;
}

int32_t rest_of_line(const char* text, String** words) {
  *words = new_strings(1);
  (*words)[0] = text;
  return *text ? 1 : 0;
}
