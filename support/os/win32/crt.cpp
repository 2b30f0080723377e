// The few C run-time routines the stub and its inflate engines need, since the stub
// links no C run-time library. Copies and fills use the string instructions,
// which current processors run at full speed for long blocks.
#include <cstddef>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
  void* to = destination;
  asm volatile("rep movsb" : "+D"(to), "+S"(source), "+c"(count) : : "memory");
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  if (to <= from || to >= from + count) {
    memcpy(destination, source, count);
  } else {
    while (count--)
      to[count] = from[count];
  }
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  void* to = destination;
  asm volatile("rep stosb" : "+D"(to), "+c"(count) : "a"(value) : "memory");
  return destination;
}

int memcmp(const void* left, const void* right, size_t count) {
  const unsigned char* a = static_cast<const unsigned char*>(left);
  const unsigned char* b = static_cast<const unsigned char*>(right);
  for (; count--; ++a, ++b)
    if (*a != *b)
      return *a < *b ? -1 : 1;
  return 0;
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length])
    ++length;
  return length;
}

size_t strnlen(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length])
    ++length;
  return length;
}

// zlib's default allocators are linked but never called: the stub always
// hands zlib its own.
void* malloc(size_t) {
  return nullptr;
}
void* calloc(size_t, size_t) {
  return nullptr;
}
void free(void*) {}
}
