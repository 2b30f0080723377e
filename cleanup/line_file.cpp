// The line file: buffered CR-ended lines over the files layer.
#include "cleanup/line_file.h"

#include "support/runtime/error_numbers.h"
#include "support/runtime/termination.h"

namespace {

constexpr uint8_t carriage_return = 0x0D;
constexpr uint8_t line_feed = 0x0A;
constexpr uint8_t end_of_text = 0x1A; // Ctrl-Z

// Makes the next byte available; at the end of the file a Ctrl-Z stands
// behind the last valid byte and is never passed.
void refill(LineFile& file) {
  if (file.position < file.count || file.at_end_of_file)
    return;
  int32_t count = read_file(file.handle, file.buffer, line_buffer_size);
  if (count <= 0) {
    if (count < 0) {
      uint32_t error = last_error();
      if (error != error_broken_pipe)
        set_io_result(error);
    }
    file.at_end_of_file = true;
    count = 0;
  }
  file.position = 0;
  file.count = count;
  if (file.at_end_of_file)
    file.buffer[file.count] = end_of_text;
}

// The next byte, Ctrl-Z at the end; not consumed.
uint8_t peek(LineFile& file) {
  refill(file);
  return file.position < file.count ? file.buffer[file.position] : end_of_text;
}

bool flush(LineFile& file) {
  if (file.count == 0)
    return true;
  int32_t written = write_file(file.handle, file.buffer, file.count);
  bool complete = written == file.count;
  if (!complete)
    set_io_result(written < 0 ? last_error() : error_access_denied);
  // Emptied either way: after a failure the rest of the line still comes
  // through `put` before anyone checks the result, and must not run past
  // the buffer.
  file.count = 0;
  return complete;
}

void put(LineFile& file, uint8_t byte) {
  file.buffer[file.count++] = byte;
  if (file.count == line_buffer_size)
    flush(file);
}

void start(LineFile& file, FileHandle handle, bool writing) {
  file.handle = handle;
  file.writing = writing;
  file.position = file.count = 0;
  file.at_end_of_file = false;
  file.flush_per_line = false;
}

} // namespace

void line_open_read(LineFile& file, const char* path) {
  file.writing = false;
  FileHandle handle = open_file(path, mode_read_share_read);
  if (handle == no_file) {
    set_io_result(last_error());
    return;
  }
  start(file, handle, false);
}

void line_open_write(LineFile& file, const char* path) {
  file.writing = false;
  FileHandle handle = create_shared_file(path);
  if (handle == no_file) {
    set_io_result(last_error());
    return;
  }
  uint32_t type = file_type(handle);
  if (type == file_type_unknown) {
    close_file(handle);
    set_io_result(error_file_type_unknown);
    return;
  }
  start(file, handle, true);
  file.flush_per_line = type == file_type_character;
}

String line_read(LineFile& file) {
  String line;
  for (;;) {
    uint8_t byte = peek(file);
    if (byte == carriage_return || byte == end_of_text)
      break;
    // Take the run of ordinary bytes in the buffer at once.
    int32_t run = file.position;
    while (run < file.count && file.buffer[run] != carriage_return &&
           file.buffer[run] != end_of_text)
      ++run;
    line.append(reinterpret_cast<const char*>(file.buffer + file.position), run - file.position);
    file.position = run;
  }
  if (peek(file) == carriage_return) {
    ++file.position;
    if (peek(file) == line_feed)
      ++file.position;
  }
  return line;
}

void line_write(LineFile& file, const String& line) {
  for (int32_t i = 0; i < line.length(); ++i)
    put(file, static_cast<uint8_t>(line[i]));
  put(file, carriage_return);
  put(file, line_feed);
  if (file.flush_per_line)
    flush(file);
}

bool line_at_end(LineFile& file) {
  return peek(file) == end_of_text;
}

void line_close(LineFile& file) {
  if (file.writing && !flush(file))
    return;
  if (!close_file(file.handle))
    set_io_result(last_error());
  file.handle = no_file;
  file.writing = false;
}
