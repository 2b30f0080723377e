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

void append_quoted(String& line, const String& word) {
  if (!line.empty())
    line += ' ';
  bool plain = !word.empty();
  for (int32_t i = 0; i < word.length(); ++i)
    plain = plain && word[i] != ' ' && word[i] != '\t' && word[i] != '"';
  if (plain) {
    line += word;
    return;
  }
  line += '"';
  int32_t backslashes = 0;
  for (int32_t i = 0; i <= word.length(); ++i) {
    char byte = i < word.length() ? word[i] : '"';
    if (byte == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double before a quote, the closing one included.
    if (byte == '"')
      backslashes = backslashes * 2 + (i < word.length());
    for (; backslashes > 0; --backslashes)
      line += '\\';
    line += byte;
  }
}

bool next_program_argument(const char** cursor, String* word) {
  const char* p = *cursor;
  while (*p == ' ' || *p == '\t')
    ++p;
  if (!*p) {
    *cursor = p;
    return false;
  }
  *word = String();
  bool quoted = false;
  while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
    int32_t backslashes = 0;
    while (p[backslashes] == '\\')
      ++backslashes;
    if (p[backslashes] == '"') {
      // Backslashes before a quote count half; an odd one makes it literal.
      for (int32_t i = 0; i < backslashes / 2; ++i)
        *word += '\\';
      p += backslashes;
      if (backslashes % 2) {
        *word += '"';
      } else if (quoted && p[1] == '"') {
        *word += '"';
        ++p;
      } else {
        quoted = !quoted;
      }
      ++p;
      continue;
    }
    for (int32_t i = 0; i < backslashes; ++i)
      *word += '\\';
    p += backslashes;
    if (*p && (quoted || (*p != ' ' && *p != '\t')))
      *word += *p++;
  }
  *cursor = p;
  return true;
}

int32_t split_program_arguments(const char* text, String** words) {
  int32_t count = 0;
  String word;
  for (const char* cursor = text; next_program_argument(&cursor, &word);)
    ++count;
  *words = new_strings(count);
  const char* cursor = text;
  for (int32_t i = 0; i < count; ++i)
    next_program_argument(&cursor, &(*words)[i]);
  return count;
}

const char* behind_arguments(const char* command_line, int32_t n) {
  const char* cursor = command_line;
  for (int32_t i = 0; i <= n; ++i)
    next_argument(&cursor);
  return cursor;
}
