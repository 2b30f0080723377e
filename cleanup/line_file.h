// A buffered text file read and written line by line.
//
// A line ends at CR; one LF right behind the CR belongs to the line end, any
// other LF is an ordinary byte. Ctrl-Z and the end of the file are alike:
// reading stops in front of them. Every failure is recorded as the pending
// I/O result, which the caller checks with `io_check` right after.
#pragma once

#include <cstdint>

#include "support/os/files.h"
#include "support/runtime/string.h"

inline constexpr int32_t line_buffer_size = 128;

struct LineFile {
  FileHandle handle = no_file;
  bool writing = false;                 // open for writing: closing writes out the buffer
  uint8_t buffer[line_buffer_size + 1]; // room for the Ctrl-Z behind the end
  int32_t position = 0;
  int32_t count = 0;
  bool at_end_of_file = false;
  bool flush_per_line = false;
};

void line_open_read(LineFile& file, const char* path);
void line_open_write(LineFile& file, const char* path);
String line_read(LineFile& file);
void line_write(LineFile& file, const String& line);
bool line_at_end(LineFile& file);
void line_close(LineFile& file);
