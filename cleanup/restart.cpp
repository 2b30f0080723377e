// Entering the running executable in the restart-rename list.
#include "cleanup/restart.h"

#include "cleanup/line_file.h"
#include "support/base/bytes.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/os/system.h"
#include "support/runtime/error_numbers.h"
#include "support/runtime/termination.h"
#include "support/text/path_text.h"

namespace {

// On Windows NT the list is never read at the next start, so a list that
// cannot be opened or created for lack of access (the Windows directory of
// a process that is not elevated) is skipped rather than ending the run.
// Every other failure stays the run-time error that `io_check` makes of it.
bool skipped_on_nt(bool nt) {
  if (!nt || termination.io_result != error_access_denied)
    return false;
  set_io_result(0);
  return true;
}

bool is_section_header(const String& line) {
  return lower_case(line) == "[rename]";
}

// Copies the open list into the scratch file with the entry behind each
// header.
void rewrite_list(LineFile& list, const String& list_path, const String& scratch_path,
                  const String& entry, bool nt) {
  LineFile scratch;
  line_open_write(scratch, scratch_path.c_str());
  if (skipped_on_nt(nt)) {
    close_file(list.handle);
    return;
  }
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
  enter_in_restart_list(windows_directory);
}

void enter_in_restart_list(const char* directory) {
  // Windows NT and later never read the list, and the stub asks them for
  // nothing else: an installer a user downloaded stays, and no reboot is
  // reported pending to other installers. Windows 9x processes the list
  // before long names exist, so there the entry takes the short form.
  bool nt = system_is_nt();
  String list_path = String(directory) + "\\wininit.ini";
  String scratch_path = list_path + "~";
  String entry = String("NUL=") + (nt ? argument(0) : short_path(argument(0)));

  // Whether there is a list is told by opening it, never by a question that
  // may fail on its own: a list that is there is only ever rewritten.
  LineFile list;
  line_open_read(list, list_path.c_str());
  if (termination.io_result != error_file_not_found) {
    if (skipped_on_nt(nt))
      return;
    io_check();
    rewrite_list(list, list_path, scratch_path, entry, nt);
    return;
  }
  set_io_result(0);
  line_open_write(list, list_path.c_str());
  if (skipped_on_nt(nt))
    return;
  io_check();
  line_write(list, "[rename]");
  io_check();
  line_write(list, entry);
  io_check();
  line_close(list);
  io_check();
}
