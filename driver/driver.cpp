// Lower layers return their failures; this is the one place that turns them
// into the user's "Warning" messages and ends the process.
#include "driver/driver.h"

#include "cleanup/restart.h"
#include "join/join.h"
#include "package/extract.h"
#include "package/layout.h"
#include "package/reader.h"
#include "package/self_check.h"
#include "package/setup_command.h"
#include "support/os/files.h"
#include "support/os/process.h"
#include "support/os/system.h"
#include "support/runtime/termination.h"
#include "support/text/c_string.h"
#include "support/text/command_line.h"

namespace {

constexpr int temp_directory_size = 256;

[[noreturn]] void fail(const char* text, FileHandle package) {
  close_file(package);
  warn_and_halt(text);
}

// "File format error(N)!" for N from 1 to 9, built from one template so that
// the texts do not each take their own bytes in the stub.
[[noreturn]] void fail_format(int number, FileHandle package) {
  char text[] = "File format error(0)!";
  text[18] = static_cast<char>('0' + number);
  fail(text, package);
}

// The first argument, else the temp directory, else the current directory;
// made absolute, so that the launch after the change into it, "%path%" and
// the hand-over to a joined copy all name the same place, and ended with a
// backslash. An argument too long for its buffer, or a directory the system
// cannot make absolute, is refused rather than cut down to another place.
String choose_target_directory(const char* temp_directory, bool have_temp_directory) {
  String target;
  if (argument_count() >= 1)
    target = argument(1);
  else if (have_temp_directory)
    target = temp_directory;
  else
    target = ".\\";
  if (target.length() < longest_argument)
    target = full_path(target);
  if (target.empty() || target.length() >= longest_argument)
    warn_and_halt("File Output error(1)!");
  if (target.last_char() != '\\')
    target += '\\';
  return target;
}

FileHandle open_own_file() {
  return open_file(argument(0).c_str(), mode_read_share_all);
}

// Finds the package through the trailer and checks its header; on success
// the file stands just behind the header. Answers the trailer's position.
uint32_t locate_package(FileHandle package) {
  uint32_t trailer = seek_file(package, -layout::trailer_size, seek_from_end);
  if (trailer == uint32_t(-1))
    fail_format(1, package);
  if (read_u32_from_zero(package) != layout::trailer_marker)
    fail_format(2, package);
  uint32_t package_offset = read_u32_from_zero(package);
  uint32_t position = seek_file(package, static_cast<int32_t>(package_offset), seek_from_start);
  if (position == uint32_t(-1) || position != package_offset)
    fail_format(3, package);
  uint8_t header[layout::header_size];
  int32_t count = read_file(package, header, layout::header_size);
  if (!is_package_header(header, count))
    fail_format(4, package);
  return trailer;
}

// Extracts every file record and reads the run record into `setup_command`.
// The records must end at the run marker or at the trailer itself: any other
// end means a damaged package whose later files and command would go
// missing without a word.
void walk_records(FileHandle package, uint32_t trailer, const String& target_directory,
                  char (&setup_command)[setup_command_size]) {
  bool complete = false;
  uint32_t marker = read_u32_from_zero(package, &complete);
  while (complete && marker == layout::record_marker) {
    ExtractOutcome outcome =
        extract_record(package, trailer + layout::trailer_size, target_directory);
    if (outcome != ExtractOutcome::extracted)
      fail(extract_message(outcome), package);
    marker = read_u32_from_zero(package, &complete);
  }
  setup_command[0] = '\0';
  if (complete && marker == layout::run_marker) {
    RunRecordOutcome outcome = read_run_record(package, target_directory, setup_command);
    if (outcome != RunRecordOutcome::read)
      fail(run_record_message(outcome), package);
    return;
  }
  bool at_trailer = complete && marker == layout::trailer_marker &&
                    seek_file(package, 0, seek_from_current) == trailer + layout::marker_size;
  if (!at_trailer)
    fail_format(5, package);
}

} // namespace

void stub_main() {
  char temp_directory[temp_directory_size];
  fill_bytes(temp_directory, 0, sizeof temp_directory);
  uint32_t temp_length = get_temp_path(temp_directory, temp_directory_size);
  // A directory that does not fit leaves the buffer unfilled; it is then
  // treated as missing rather than grown past its buffer.
  bool have_temp_directory = temp_length != 0 && temp_length < temp_directory_size;
  if (!have_temp_directory)
    temp_directory[0] = '\0';

  String target_directory = choose_target_directory(temp_directory, have_temp_directory);
  int32_t temp_used = c_string_length(temp_directory);
  if ((temp_used == 0 || temp_directory[temp_used - 1] != '\\') &&
      temp_used < temp_directory_size - 1)
    append_c_string(temp_directory, "\\");

  FileHandle package = open_own_file();
  if (seek_file(package, layout::split_set_offset, seek_from_start) == uint32_t(-1))
    fail_format(1, package);
  if (read_u32_from_zero(package) == layout::split_set_marker)
    join_volumes(package, temp_directory);

  close_file(package);
  if (!own_file_is_unaltered())
    warn_and_halt("File check error(1)!");
  package = open_own_file();
  uint32_t trailer = locate_package(package);
  char setup_command[setup_command_size];
  walk_records(package, trailer, target_directory, setup_command);
  close_file(package);

  launch_setup_command(setup_command, target_directory);
  delete_at_restart();
  halt();
}
