// The stub's control flow. Lower layers return verdicts; the driver shows
// the user's "Warning" messages and ends both modes: the record walk, the
// launch, the registration for deletion at restart and the end of the
// process. Run-time errors end the process from wherever `io_check` or the
// heap meet them.
#include "driver/driver.h"

#include "cleanup/restart.h"
#include "extract/extract.h"
#include "extract/package_file.h"
#include "extract/self_check.h"
#include "extract/setup_command.h"
#include "join/join.h"
#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/os/directory.h"
#include "support/os/files.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/os/system.h"
#include "support/runtime/error_numbers.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/command_line.h"
#include "support/text/path_text.h"

namespace {

constexpr int temp_directory_size = 256;

[[noreturn]] void fail(const char* text, FileHandle own_file) {
  close_file(own_file);
  warn_and_halt(text);
}

[[noreturn]] void fail(uint8_t number, FileHandle own_file) {
  char text[verdict_message_size];
  warning_message(number, text);
  fail(text, own_file);
}

[[noreturn]] void fail(Verdict verdict, FileHandle own_file) {
  fail(uint8_t(verdict), own_file);
}

[[noreturn]] void fail(RunFailure failure, FileHandle own_file) {
  fail(uint8_t(failure), own_file);
}

// The first argument made absolute, so that the launch after the change
// into it, "%path%" and the hand-over to a joined copy all name the same
// place, and ended with a backslash; empty without an argument. An argument
// too long for its buffer, or one the system cannot make absolute, is
// refused rather than cut down to another place.
String given_target_directory() {
  if (argument_count() < 1)
    return String();
  String target = drive_root_if_bare(argument(1));
  if (target.length() < longest_argument)
    target = full_path(target);
  if (target.empty() || target.length() >= longest_argument)
    fail(Verdict::output_not_created, no_file);
  if (!ends_in_backslash(target))
    target += '\\';
  return target;
}

// Without an argument: a new directory of this run's own inside the temp
// directory, created exclusively under a name nobody can foresee, so that
// nothing another user prepared there is written into or started; else
// the current directory.
String private_target_directory(const char* temp_directory, bool have_temp_directory) {
  if (!have_temp_directory) {
    String current = full_path(".\\");
    if (current.empty())
      fail(Verdict::output_not_created, no_file);
    return ends_in_backslash(current) ? current : current + "\\";
  }
  char name[unique_name_size];
  for (int32_t attempt = 0; attempt < 16; ++attempt) {
    unique_name(random_bits(), name);
    String path = String(temp_directory) + name;
    if (create_private_directory(path))
      return path + "\\";
  }
  fail(Verdict::output_not_created, no_file);
}

// Changes into `directory` (a failure ends the process with the system's
// error code) and starts the program, `held` open where the extraction
// wrote it (then let go). Without waiting it pauses one second and answers
// 0. Waiting, it answers the program's exit code; a program that cannot be
// started fails the run.
int32_t start_program(const String& directory, const char* verb, const char* program,
                      const char* parameters, bool wait, FileHandle held) {
  change_directory(directory);
  io_check();
  int32_t exit_code = 0;
  if (!wait) {
    launch_program(verb, program, parameters, held, nullptr);
    pause_ms(1000);
  } else if (!launch_program(verb, program, parameters, held, &exit_code)) {
    fail(RunFailure::setup_not_started, held);
  }
  if (held != no_file)
    close_file(held);
  return exit_code;
}

// A relative temp directory (TMPDIR=tmp) made absolute in its buffer, so
// that a private target inside it still names the same place after the
// change into it; false when the system cannot or it no longer fits.
bool make_absolute(char (&directory)[temp_directory_size]) {
  String absolute = full_path(String(directory));
  if (absolute.empty() || absolute.length() >= temp_directory_size - 1)
    return false;
  copy_bytes(directory, absolute.c_str(), size_t(absolute.length()) + 1);
  return true;
}

[[noreturn]] void end_with(int32_t exit_code) {
  termination.exit_code = exit_code;
  halt();
}

// Enters the own file in the restart-rename list where the system keeps one.
void register_deletion() {
  if (system_has_restart_list())
    delete_at_restart();
}

// Head mode: joins the split set, registers the head for deletion at
// restart and starts the joined copy in the temp directory. Without one the
// set is not joined: never at the root of a drive.
[[noreturn]] void run_head(FileHandle own_file, const char* temp_directory,
                           bool have_temp_directory) {
  if (!have_temp_directory)
    fail(RunFailure::set_not_combined, own_file);
  JoinedCopy copy;
  JoinOutcome outcome = join_volumes(own_file, temp_directory, &copy);
  close_file(own_file);
  if (outcome == JoinOutcome::too_many_files)
    fail(RunFailure::set_too_large, no_file);
  if (outcome == JoinOutcome::not_combined)
    fail(RunFailure::set_not_combined, no_file);
  register_deletion();
  end_with(start_program(String(temp_directory), nullptr, copy.path.c_str(), copy.argument.c_str(),
                         copy.wait, no_file));
}

// The package's checksum, where it asks for one, before anything is created.
Verdict check_checksum(const ByteSource& own, const PackageLocation& location) {
  if (!location.options.checksum())
    return Verdict::ok;
  constexpr int32_t buffer_size = 64 << 10;
  uint8_t* buffer = static_cast<uint8_t*>(heap_allocate(buffer_size));
  Verdict verdict = check_package(own, location, buffer, buffer_size);
  heap_release(buffer);
  return verdict;
}

// Package mode: locates and checks the package, extracts its records,
// starts the setup command, registers the own file for deletion at restart
// and ends, with the setup's exit code where the package asks to wait.
[[noreturn]] void run_package(FileHandle own_file, String target_directory,
                              const char* temp_directory, bool have_temp_directory) {
  ByteSource own = file_source(&own_file);
  PackageLocation location;
  Verdict verdict = locate_package(own, &location);
  if (verdict == Verdict::ok)
    verdict = check_checksum(own, location);
  char setup_command[setup_command_size];
  setup_command[0] = '\0';
  if (verdict == Verdict::ok && target_directory.empty())
    target_directory = private_target_directory(temp_directory, have_temp_directory);
  Extractor extractor;
  extractor.source = own;
  extractor.options = location.options;
  extractor.target_path = target_directory;
  if (verdict == Verdict::ok)
    verdict = extract_records(extractor, location, setup_command);
  if (verdict == Verdict::content_too_large)
    run_time_error(error_heap_exhausted, __builtin_return_address(0));
  if (verdict != Verdict::ok)
    fail(verdict, own_file);
  close_file(own_file);

  int32_t exit_code = 0;
  LaunchCommand program;
  if (setup_command[0] != '\0')
    program = setup_program(setup_command, target_directory);
  FileHandle held = finish_extraction(extractor, program.program);
  if (setup_command[0] != '\0')
    exit_code = start_program(target_directory, "open", program.program.c_str(),
                              program.parameters.empty() ? nullptr : program.parameters.c_str(),
                              location.options.wait(), held);
  register_deletion();
  end_with(exit_code);
}

} // namespace

void stub_main() {
  load_code_page();
  char temp_directory[temp_directory_size];
  fill_bytes(temp_directory, 0, sizeof temp_directory);
  uint32_t temp_length = get_temp_path(temp_directory, temp_directory_size);
  // A directory that does not fit leaves the buffer unfilled; it is then
  // treated as missing rather than grown past its buffer.
  bool have_temp_directory =
      temp_length != 0 && temp_length < temp_directory_size && make_absolute(temp_directory);
  if (!have_temp_directory)
    temp_directory[0] = '\0';

  String target_directory = given_target_directory();
  int32_t temp_used = c_string_length(temp_directory);
  if (!ends_in_backslash(String(temp_directory)) && temp_used < temp_directory_size - 1)
    append_c_string(temp_directory, "\\");

  // The own file is opened once, here, and handed to each step that reads
  // it: the head's join, the self-check and the package run.
  FileHandle own_file = open_file(argument(0).c_str(), mode_read_share_all);
  ByteSource own = file_source(&own_file);
  if (own.seek(own.context, layout::split_set_offset, seek_from_start) == uint32_t(-1))
    fail(Verdict::end_unreachable, own_file);
  if (read_u32_from_zero(own) == layout::split_set_marker)
    run_head(own_file, temp_directory, have_temp_directory);

  if (!own_file_is_unaltered(own_file))
    fail(RunFailure::stub_altered, own_file);
  run_package(own_file, static_cast<String&&>(target_directory), temp_directory,
              have_temp_directory);
}
