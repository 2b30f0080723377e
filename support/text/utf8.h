// UTF-8 decoded by the stub itself: Windows 95 has no UTF-8 conversion, and
// the system's own decoders differ in what malformed text they let through.
#pragma once

#include <cstdint>

// The length in bytes of the well-formed UTF-8 sequence that starts the
// `length` bytes at `text`, its code point in `*code`; 0 when none starts
// there (a cut or stray sequence, an overlong form, a surrogate, a code
// point past U+10FFFF).
int32_t utf8_sequence(const char* text, int32_t length, uint32_t* code);

// The UTF-16 units of the UTF-8 `text` of `length` bytes, written to `wide`
// (at most `capacity` units): their count, or -1 for text that is not
// well-formed UTF-8 (a cut or stray sequence, an overlong form, a
// surrogate, a code point past U+10FFFF) or does not fit.
int32_t utf16_from_utf8(const char* text, int32_t length, uint16_t* wide, int32_t capacity);
