// Entering the running executable in the restart-rename list.
#include "cleanup/restart.h"

#include "cleanup/line_file.h"
#include "support/os/process.h"
#include "support/os/system.h"
#include "support/runtime/termination.h"
#include "support/text/c_string.h"
#include "support/text/path_text.h"

namespace {

bool is_section_header(const String& line) {
  return lower_case(line) == "[rename]";
}

// Copies the list into the scratch file with the entry behind each header.
void rewrite_list(const String& list_path, const String& scratch_path, const String& entry) {
  LineFile list;
  LineFile scratch;
  line_open_read(list, list_path.c_str());
  io_check();
  line_open_write(scratch, scratch_path.c_str());
  io_check();
  String lowered_entry = lower_case(entry);
  do {
    String line = line_read(list);
    io_check();
    // Every line is copied but an entry for this file already present.
    // Short lines and section headers always pass: the entry starts with
    // "NUL=" and so is longer than 3 bytes and never starts with '['.
    if (!(lower_case(line) == lowered_entry)) {
      line_write(scratch, line);
      io_check();
    }
    if (is_section_header(line)) {
      line_write(scratch, entry);
      io_check();
    }
  } while (!line_at_end(list));
  io_check();
  line_close(list);
  io_check();
  line_close(scratch);
  io_check();
  // The new list takes the old one's place in one step: a failure leaves
  // the old list, never none.
  replace_file(scratch_path.c_str(), list_path.c_str());
}

} // namespace

void delete_at_restart() {
  char windows_directory[256];
  fill_bytes(windows_directory, 0, sizeof windows_directory);
  uint32_t length = get_windows_directory(windows_directory, 255);
  // Without a Windows directory there is no list to edit, and nothing is
  // written anywhere else.
  if (length == 0 || length >= 255)
    return;
  String list_path = String(windows_directory) + "\\wininit.ini";
  String scratch_path = list_path + "~";
  String entry = String("NUL=") + argument(0);

  if (file_exists(list_path)) {
    rewrite_list(list_path, scratch_path, entry);
    return;
  }
  LineFile list;
  line_open_write(list, list_path.c_str());
  io_check();
  line_write(list, "[rename]");
  io_check();
  line_write(list, entry);
  io_check();
  line_close(list);
  io_check();
}
