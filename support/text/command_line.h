// Splitting a Windows command line into arguments.
//
// Blanks and control bytes separate arguments; double quotes enclose text
// that may hold blanks and are dropped; there is no escape character. An
// argument outside quotes is cut after 4096 bytes and its rest becomes the
// next argument.
#pragma once

#include <cstdint>

#include "support/runtime/string.h"

inline constexpr int32_t longest_argument = 4096;

// Takes one argument from `*cursor` and moves the cursor behind it. The
// result is empty only at the end of the line.
String next_argument(const char** cursor);

// Number of arguments after the program name.
int32_t count_arguments(const char* command_line);

// Argument n >= 1 of the command line; empty past the last one.
String argument_from(const char* command_line, int32_t n);

// Appends `word` to `line` behind a blank (none when `line` is empty) so
// that a program splitting its command line by the C run-time's rules
// reads it back as one argument, unchanged: quoted where it is empty or
// holds a blank, tab or quote, backslashes before a quote doubled.
void append_quoted(String& line, const String& word);

// Takes one argument from `*cursor` as a program's C run-time splits its
// command line (blanks and tabs separate; quotes group and are dropped;
// backslashes escape a quote, counting half before one): false at the end.
bool next_program_argument(const char** cursor, String* word);

// Splits all of `text` so into an array of strings on the stub's heap at
// `*words`; answers their number.
int32_t split_program_arguments(const char* text, String** words);

// Where the command line goes on behind argument n (0: the program name).
const char* behind_arguments(const char* command_line, int32_t n);
