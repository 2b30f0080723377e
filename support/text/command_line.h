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

// The rest of the command line behind argument n (0: the program name),
// from its next argument on, as it was written.
const char* behind_arguments(const char* command_line, int32_t n);

// `text`, the rest of a command line, as the one entry of an array on the
// stub's heap at `*words`; answers 0 for an empty text.
int32_t rest_of_line(const char* text, String** words);
