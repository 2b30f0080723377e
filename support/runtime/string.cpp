// The stub's string type over its own heap.
#include "support/runtime/string.h"

#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/runtime/heap.h"

String::String(const char* text) {
  append(text, c_string_length(text));
}

String::String(const char* bytes, int32_t count) {
  append(bytes, count);
}

String::String(const String& other) {
  append(other.c_str(), other.length_);
}

String::String(String&& other) noexcept
    : bytes_(other.bytes_), length_(other.length_), capacity_(other.capacity_) {
  other.bytes_ = nullptr;
  other.length_ = other.capacity_ = 0;
}

String& String::operator=(const String& other) {
  if (this != &other) {
    length_ = 0;
    append(other.c_str(), other.length_);
  }
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    heap_release(bytes_);
    bytes_ = other.bytes_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.bytes_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  return *this;
}

String::~String() {
  heap_release(bytes_);
}

void String::reserve(int32_t capacity) {
  if (capacity >= 0 && capacity <= capacity_)
    return;
  // Sizes of 2^31 or more are handed on negative and end as exhaustion.
  int64_t doubled = int64_t(capacity_) * 2;
  int32_t grown = doubled > capacity && doubled < INT32_MAX ? int32_t(doubled) : capacity;
  void* block = bytes_;
  heap_resize(&block, grown);
  bytes_ = static_cast<char*>(block);
  capacity_ = grown;
}

String& String::append(const char* bytes, int32_t count) {
  if (count <= 0)
    return *this;
  int64_t needed = int64_t(length_) + count + 1;
  reserve(needed > INT32_MAX ? -1 : int32_t(needed));
  copy_bytes(bytes_ + length_, bytes, static_cast<size_t>(count));
  length_ += count;
  bytes_[length_] = '\0';
  return *this;
}

String& String::operator+=(const char* tail) {
  return append(tail, c_string_length(tail));
}

String String::substring(int32_t start, int32_t count) const {
  if (start < 0)
    start = 0;
  if (start > length_)
    start = length_;
  if (count > length_ - start)
    count = length_ - start;
  return String(c_str() + start, count);
}

int32_t String::find(const char* needle, int32_t from) const {
  int32_t needle_length = c_string_length(needle);
  for (int32_t i = from; i + needle_length <= length_; ++i)
    if (same_bytes(bytes_ + i, needle, static_cast<size_t>(needle_length)))
      return i;
  return -1;
}

bool String::operator==(const String& other) const {
  return length_ == other.length_ &&
         same_bytes(c_str(), other.c_str(), static_cast<size_t>(length_));
}

String operator+(const String& head, const String& tail) {
  String result(head);
  result += tail;
  return result;
}

String operator+(const String& head, const char* tail) {
  String result(head);
  result += tail;
  return result;
}

// An empty string is all zero bytes: no storage, no length, no capacity.
String* new_strings(int32_t count) {
  int32_t size = int32_t(sizeof(String)) * (count > 0 ? count : 1);
  void* strings = heap_allocate(size);
  fill_bytes(strings, 0, size_t(size));
  return static_cast<String*>(strings);
}
