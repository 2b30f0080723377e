// The system code page's double-byte characters, for code that walks names
// and paths byte by byte.
//
// In the double-byte ANSI code pages of East Asian Windows (932, 936, 949,
// 950) a lead byte and the byte after it are one character, and that second
// byte may be a backslash (0x5C in "表" 95 5C) or a letter. A walk that
// looks for separators steps over such characters whole. The table is empty
// (every byte a character) in single-byte code pages, in UTF-8 and on
// POSIX; the OS layer fills it at start-up where the system has one.
#pragma once

#include <cstdint>

// The lead-byte ranges as the system gives them: pairs of first and last
// byte, ended by a pair of zeros (at most five pairs).
inline constexpr int32_t lead_byte_ranges_size = 12;
void set_lead_byte_ranges(const uint8_t* ranges);

bool is_lead_byte(uint8_t byte);

// The position of the character behind the one at `at` in `text` of
// `length` bytes: one byte on, or two behind a lead byte, never past the
// end.
int32_t next_character(const char* text, int32_t length, int32_t at);
