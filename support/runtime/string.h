// Byte strings held by value over the stub's own heap.
//
// The stub keeps no std::string: this type allocates through the stub's heap,
// so exhaustion ends as run-time error 203 and never yields a null pointer.
// The bytes are always followed by a NUL, so `c_str` can go to the system;
// a string may still hold NUL bytes of its own.
#pragma once

#include <cstdint>

class String {
public:
  String() = default;
  String(const char* text); // up to the first NUL
  String(const char* bytes, int32_t count);
  String(const String& other);
  String(String&& other) noexcept;
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  ~String();

  int32_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  const char* c_str() const { return bytes_ ? bytes_ : ""; }
  // The bytes for editing in place; null for a string never given any.
  char* data() { return bytes_; }
  char operator[](int32_t index) const { return bytes_[index]; }
  // The last byte; callers test for an empty string first.
  char last_char() const { return bytes_[length_ - 1]; }

  String& append(const char* bytes, int32_t count);
  String& operator+=(const String& tail) { return append(tail.c_str(), tail.length_); }
  String& operator+=(const char* tail);
  String& operator+=(char byte) { return append(&byte, 1); }

  // `count` bytes from `start` (0-based), clipped to the string.
  String substring(int32_t start, int32_t count) const;
  // Position (0-based) of the first `needle` at or after `from`, or -1.
  int32_t find(const char* needle, int32_t from = 0) const;

  bool operator==(const String& other) const;
  bool operator==(const char* text) const { return *this == String(text); }

private:
  void reserve(int32_t capacity);

  char* bytes_ = nullptr;
  int32_t length_ = 0;
  int32_t capacity_ = 0;
};

// An array of `count` empty strings on the stub's heap; never freed.
String* new_strings(int32_t count);

String operator+(const String& head, const String& tail);
String operator+(const String& head, const char* tail);
