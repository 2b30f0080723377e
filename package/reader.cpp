// Fields of the package read by its rules.
#include "package/reader.h"

#include "package/layout.h"
#include "support/text/c_string.h"

uint32_t read_u32_from_zero(FileHandle file, bool* complete) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  int32_t count = read_file(file, bytes, 4);
  if (complete)
    *complete = count == 4;
  return load_u32(bytes);
}

uint8_t read_u8_from_zero(FileHandle file) {
  uint8_t byte = 0;
  read_file(file, &byte, 1);
  return byte;
}

String read_text_field(FileHandle file, uint8_t length) {
  char field[256];
  fill_bytes(field, 0, sizeof field);
  read_file(file, field, length);
  return String(field, c_string_length(field));
}

bool is_package_header(const uint8_t* header, int32_t count) {
  return count >= 6 && same_bytes(header, layout::magic, sizeof layout::magic);
}
