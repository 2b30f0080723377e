// The stub's control flow. Lower layers return verdicts; the driver shows
// the user's "Warning" messages and ends both modes: the record walk, the
// launch, the registration for deletion at restart and the end of the
// process. Run-time errors end the process from wherever `io_check` or the
// heap meet them.
#include "driver/driver.h"

#include "driver/options.h"

#include "cleanup/restart.h"
#include "extract/extract.h"
#include "extract/self_check.h"
#include "extract/setup_command.h"
#include "join/join.h"
#include "package/file_source.h"
#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/os/directory.h"
#include "support/os/files.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/os/system.h"
#include "support/platform/host.h"
#include "support/platform/process_exit.h"
#include "support/runtime/error_numbers.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"
#include "support/text/command_line.h"
#include "support/text/path_text.h"

namespace {

constexpr int temp_directory_size = 256;

// A package that reads options has a sentence of advice shown behind each
// fixed message; the folder one names the target directory.
bool give_advice = false;
const char* advice_folder = "";

// A path of the stub's as the user writes it: the stub's paths have
// backslashes, and a POSIX user reads slashes.
String shown_path(const char* path) {
  String shown(path);
  for (int32_t i = 0; !host_is_windows && i < shown.length(); ++i)
    if (shown[i] == '\\')
      shown.data()[i] = '/';
  return shown;
}

// The stub's own file, opened once at the start and handed to each step
// that reads it: the head's join, the self-check and the package run.
FileHandle own_file = no_file;

// Closes the own file, once: before the run hands over to a program it
// starts (which may move or delete the installer) and when the run ends.
void release_own_file() {
  if (own_file != no_file)
    close_file(own_file);
  own_file = no_file;
}

[[noreturn]] void end_with(int32_t exit_code) {
  release_own_file();
  termination.exit_code = exit_code;
  halt();
}

[[noreturn]] void fail(const char* text) {
  release_own_file();
  warn_and_halt(text);
}

[[noreturn]] void fail(uint8_t number) {
  char text[verdict_message_size];
  warning_message(number, text);
  if (!give_advice)
    fail(text);
  Advice advice = warning_advice(number);
  String told = String(text) + "\n" + advice_text[uint8_t(advice)];
  if (advice == Advice::folder)
    told += shown_path(advice_folder);
  fail(told.c_str());
}

[[noreturn]] void fail(Verdict verdict) {
  fail(uint8_t(verdict));
}

[[noreturn]] void fail(RunFailure failure) {
  fail(uint8_t(failure));
}

// The first argument made absolute, so that the launch after the change
// into it, "%path%" and the hand-over to a joined copy all name the same
// place, and ended with a backslash; empty without an argument. An argument
// too long for its buffer, or one the system cannot make absolute, is
// refused rather than cut down to another place.
String given_target_directory(const String& given) {
  if (given.empty())
    return String();
  String target = drive_root_if_bare(given);
  if (target.length() < longest_argument)
    target = full_path(target);
  if (target.empty() || target.length() >= longest_argument)
    fail(Verdict::output_not_created);
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
      fail(Verdict::output_not_created);
    return ends_in_backslash(current) ? current : current + "\\";
  }
  char name[unique_name_size];
  for (int32_t attempt = 0; attempt < 16; ++attempt) {
    unique_name(random_bits(), name);
    String path = String(temp_directory) + name;
    if (create_private_directory(path))
      return path + "\\";
  }
  fail(Verdict::output_not_created);
}

// The arguments the command line gave behind "--", each handed to the
// program started as one, behind its stored parameters; `first` is put in
// front of them where it is set.
struct SetupArguments {
  String* words = nullptr;
  int32_t count = 0;
};

SetupArguments setup_arguments(const InstallerOptions& options, const char* first) {
  SetupArguments arguments;
  if (options.setup_from == 0)
    return arguments;
  String* given = nullptr;
  int32_t count = arguments_behind(options.setup_from - 1, &given);
  arguments.words = given;
  arguments.count = count;
  if (first) {
    arguments.words = new_strings(count + 1);
    arguments.words[0] = first;
    for (int32_t i = 0; i < count; ++i)
      arguments.words[i + 1] = given[i];
    arguments.count = count + 1;
  }
  return arguments;
}

// Changes into `directory` (a failure ends the process with the system's
// error code) and starts the program, `held` open where the extraction
// wrote it (then let go). Without waiting it pauses one second and answers
// 0. Waiting, it answers the program's exit code; a program that cannot be
// started fails the run.
int32_t start_program(const String& directory, const char* verb, const char* program,
                      const char* parameters, const SetupArguments& arguments, bool wait,
                      FileHandle held) {
  change_directory(directory);
  io_check();
  int32_t exit_code = 0;
  bool started = true;
  if (!wait) {
    launch_program(verb, program, parameters, arguments.words, arguments.count, held, nullptr);
    pause_ms(1000);
  } else {
    started = launch_program(verb, program, parameters, arguments.words, arguments.count, held,
                             &exit_code);
  }
  if (held != no_file)
    close_file(held);
  if (!started)
    fail(RunFailure::setup_not_started);
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

// Enters the own file in the restart-rename list where the system keeps one.
void register_deletion() {
  if (system_has_restart_list())
    delete_at_restart();
}

constexpr char usage_text[] = "Usage: [DIR] [options] [-- arguments for the setup]\n"
                              "  --target DIR  extract into DIR\n"
                              "  --list        list the files\n"
                              "  --check       check the installer\n"
                              "  --quiet       no message boxes\n"
                              "  --noexec      extract only\n"
                              "  --wait        wait for the setup\n"
                              "  --keep        keep what is extracted\n";
constexpr char windows_switches[] = "  /S /D=DIR /?  --quiet, --target DIR, --help\n";

// Text the user asked for: on standard output, else in a box.
void show_text(const String& text, const char* caption) {
  if (!write_standard(1, text.c_str(), text.length()) &&
      termination.channel != MessageChannel::quiet)
    show_message(text.c_str(), caption, 0);
}

String usage() {
  String text(usage_text);
  if (host_is_windows)
    text += windows_switches;
  return text;
}

// The options given that the joined copy of a split set is to read too,
// behind its target directory.
String passed_options(const InstallerOptions& options) {
  static constexpr const char* names[] = {" --quiet", " --noexec", " --wait", " --keep"};
  bool set[] = {options.quiet, options.no_exec, options.wait, options.keep};
  String text;
  for (int32_t i = 0; i < 4; ++i)
    if (set[i])
      text += names[i];
  return text;
}

// The hand-over argument of a split set: the target made absolute (the
// copy starts in the temp directory), or the head's directory; in double
// quotes when it holds a byte that would split it (a blank or any other
// control byte), so that it arrives as one argument.
String hand_over_argument(const String& target) {
  String argument_text = drive_root_if_bare(target.empty() ? directory_of(argument(0)) : target);
  if (!target.empty())
    argument_text = full_path(argument_text);
  for (int32_t i = 0; i < argument_text.length(); ++i)
    if (static_cast<uint8_t>(argument_text[i]) <= 0x20)
      return String("\"") + argument_text + "\"";
  return argument_text;
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

// Text from the package for the user's terminal: control bytes as '?'.
void append_shown(String& text, const char* bytes, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    text += uint8_t(bytes[i]) < 0x20 || bytes[i] == 0x7F ? '?' : bytes[i];
}

Verdict list_record(void* context, const RecordReport& report) {
  String& text = *static_cast<String*>(context);
  if (report.verdict == Verdict::ok) {
    char digits[12];
    int32_t at = 11;
    digits[at] = '\0';
    uint32_t size = report.size;
    do {
      digits[--at] = char('0' + size % 10);
      size /= 10;
    } while (size != 0);
    while (at > 1)
      digits[--at] = ' ';
    text += digits + 1;
    text += "  ";
    append_shown(text, report.name.c_str(), report.name.length());
    text += '\n';
  }
  return report.verdict;
}

void list_command(void* context, const char* command, int32_t length) {
  String& text = *static_cast<String*>(context);
  text += "setup: ";
  append_shown(text, command, length);
  text += '\n';
}

// --list and --check: every record of the package in `source` read and
// checked as the extraction would, nothing written. The listing (or the
// line that says all is well) goes to `*text`: each file with its size,
// the setup command and the package's options.
Verdict inspect_package(const ByteSource& source, bool lists, String* text) {
  RecordReader reader;
  PackageLocation location;
  Verdict verdict = locate_package(source, &location);
  if (verdict == Verdict::ok)
    verdict = check_checksum(source, location);
  reader.extractor.source = source;
  reader.extractor.options = location.options;
  reader.writes = false;
  if (lists)
    reader.observer = RecordObserver{text, list_record, list_command};
  char setup_command[setup_command_size];
  setup_command[0] = '\0';
  if (verdict == Verdict::ok)
    verdict = read_records(reader, location, setup_command);
  if (!lists) {
    *text = "The installer is whole.\n";
    return verdict;
  }
  static constexpr const char* names[] = {" utf8", " wait", " checksum", " options"};
  *text += "options:";
  for (int32_t bit = 0; bit < 4; ++bit)
    if (location.options.bits & (1 << bit))
      *text += names[bit];
  *text += '\n';
  return verdict;
}

// Ends an inspection: its text, or the message of what it found.
[[noreturn]] void end_inspection(Verdict verdict, const String& text) {
  if (verdict == Verdict::content_too_large)
    run_time_error(error_heap_exhausted, __builtin_return_address(0));
  if (verdict != Verdict::ok)
    fail(verdict);
  release_own_file();
  show_text(text, "Installer");
  end_with(0);
}

// Head mode: joins the split set, registers the head for deletion at
// restart and starts the joined copy in the temp directory. Without one the
// set is not joined: never at the root of a drive. Listing or checking the
// set, the volumes stay and the copy is removed once it has ended.
[[noreturn]] void run_head(const InstallerOptions& options, bool reads_options,
                           const char* temp_directory, bool have_temp_directory) {
  if (!have_temp_directory)
    fail(RunFailure::set_not_combined);
  bool inspects = options.action == Action::list || options.action == Action::check;
  JoinedCopy copy;
  JoinOutcome outcome = join_volumes(own_file, temp_directory, !inspects, &copy);
  release_own_file();
  if (outcome == JoinOutcome::too_many_files)
    fail(RunFailure::set_too_large);
  if (outcome == JoinOutcome::not_combined)
    fail(RunFailure::set_not_combined);
  if (inspects) {
    ByteSource joined = file_source(&copy.check);
    String text;
    Verdict verdict = inspect_package(joined, options.action == Action::list, &text);
    close_file(copy.check);
    delete_file(copy.path.c_str());
    end_inspection(verdict, text);
  }
  String parameters = hand_over_argument(options.target);
  if (reads_options)
    parameters += passed_options(options);
  if (!options.no_exec && !options.keep)
    register_deletion();
  int32_t exit_code =
      start_program(String(temp_directory), nullptr, copy.path.c_str(), parameters.c_str(),
                    setup_arguments(options, "--"), copy.wait || options.wait, no_file);
  end_with(exit_code);
}

// Package mode: checks the located package, extracts its records, starts
// the setup command, registers the own file for deletion at restart and
// ends, with the setup's exit code where the package or the command line
// asks to wait. A directory of the run's own is removed once a setup
// waited for has ended, unless the command line keeps it.
[[noreturn]] void run_package(Verdict verdict, const PackageLocation& location,
                              const InstallerOptions& options, String target_directory,
                              const char* temp_directory, bool have_temp_directory) {
  ByteSource own = file_source(&own_file);
  if (verdict == Verdict::ok &&
      (options.action == Action::list || options.action == Action::check)) {
    String text;
    end_inspection(inspect_package(own, options.action == Action::list, &text), text);
  }
  if (verdict == Verdict::ok)
    verdict = check_checksum(own, location);
  char setup_command[setup_command_size];
  setup_command[0] = '\0';
  bool made_private = verdict == Verdict::ok && target_directory.empty() && have_temp_directory;
  if (verdict == Verdict::ok && target_directory.empty())
    target_directory = private_target_directory(temp_directory, have_temp_directory);
  advice_folder = target_directory.c_str();
  Extractor extractor;
  extractor.source = own;
  extractor.options = location.options;
  extractor.target_path = target_directory;
  if (verdict == Verdict::ok)
    verdict = extract_records(extractor, location, setup_command);
  if (verdict == Verdict::content_too_large)
    run_time_error(error_heap_exhausted, __builtin_return_address(0));
  if (verdict != Verdict::ok)
    fail(verdict);
  release_own_file();

  int32_t exit_code = 0;
  bool waits = location.options.wait() || options.wait;
  LaunchCommand program;
  if (setup_command[0] != '\0' && !options.no_exec)
    program = setup_program(setup_command, target_directory);
  FileHandle held = finish_extraction(extractor, program.program);
  if (!program.program.empty())
    exit_code = start_program(target_directory, "open", program.program.c_str(),
                              program.parameters.empty() ? nullptr : program.parameters.c_str(),
                              setup_arguments(options, nullptr), waits, held);
  if (options.no_exec) {
    show_text(shown_path(target_directory.c_str()) + "\n", "Installer");
    end_with(0);
  }
  if (made_private && waits && location.options.reads_options() && !options.keep &&
      !program.program.empty()) {
    change_directory(String(temp_directory));
    set_io_result(0);
    // A program that has just ended may hold its file a moment longer,
    // and the console it was given may outlive it by seconds, in the
    // directory it started in: up to ten seconds of retries, then the
    // directory stays.
    for (int32_t attempt = 0; attempt < 50 && directory_exists(target_directory); ++attempt) {
      if (attempt > 0)
        pause_ms(200);
      remove_directory_tree(target_directory);
    }
  }
  if (!options.keep)
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
  int32_t temp_used = c_string_length(temp_directory);
  if (!ends_in_backslash(String(temp_directory)) && temp_used < temp_directory_size - 1)
    append_c_string(temp_directory, "\\");

  own_file = open_file(argument(0).c_str(), mode_read_share_all);
  ByteSource own = file_source(&own_file);
  if (own.seek(own.context, layout::split_set_offset, seek_from_start) == uint32_t(-1))
    fail(Verdict::end_unreachable);
  bool head = read_u32_from_zero(own) == layout::split_set_marker;

  // The package says whether the command line holds options. The self-check
  // reads from the start, so it goes first; the package is read on from
  // behind its header.
  bool unaltered = head || own_file_is_unaltered(own_file);
  PackageLocation location;
  Verdict verdict = head ? Verdict::ok : locate_package(own, &location);
  PackageOptions package = !head && verdict == Verdict::ok
                               ? location.options
                               : options_behind_stub(own_file, own_seal().length);
  if (head)
    own.seek(own.context, layout::volume_count_offset, seek_from_start);
  give_advice = package.reads_options();
  InstallerOptions options = read_options(package.reads_options());
  advice_folder = options.target.c_str();
  if (options.quiet)
    termination.channel = MessageChannel::quiet;
  else if (options.action != Action::run)
    termination.channel = MessageChannel::text;
  if (options.action == Action::help) {
    release_own_file();
    show_text(usage(), "Installer");
    end_with(0);
  }
  if (options.action == Action::usage_error) {
    release_own_file();
    tell_user((String("Unknown option ") + options.unknown + "\n" + usage()).c_str(), "Warning");
    end_with(usage_exit_code);
  }

  String target_directory = given_target_directory(options.target);
  if (head)
    run_head(options, package.reads_options(), temp_directory, have_temp_directory);
  if (!unaltered)
    fail(RunFailure::stub_altered);
  run_package(verdict, location, options, static_cast<String&&>(target_directory), temp_directory,
              have_temp_directory);
}
