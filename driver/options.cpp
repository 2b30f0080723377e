// Reading the installer's command line.
#include "driver/options.h"

#include "support/platform/host.h"
#include "support/os/process.h"
#include "support/text/path_text.h"

namespace {

// The option names, each with what it sets; the Windows switches are
// compared in lower case.
enum class Word : uint8_t { target, help, list, check, quiet, no_exec, wait, keep, other };

Word word_of(const String& argument) {
  static constexpr const char* words[] = {"--target", "--help",   "--list", "--check",
                                          "--quiet",  "--noexec", "--wait", "--keep"};
  for (uint8_t i = 0; i < sizeof words / sizeof words[0]; ++i)
    if (argument == words[i])
      return Word(i);
  if (host_is_windows) {
    String lower = lower_case(argument);
    if (lower == "/?")
      return Word::help;
    if (lower == "/s")
      return Word::quiet;
  }
  return Word::other;
}

void set_action(InstallerOptions& options, Action action) {
  if (options.action == Action::run)
    options.action = action;
}

// An argument not understood: nothing else is done.
void refuse(InstallerOptions& options, const String& argument) {
  if (options.action != Action::usage_error)
    options.unknown = argument;
  options.action = Action::usage_error;
}

} // namespace

InstallerOptions read_options(bool read_options) {
  InstallerOptions options;
  int32_t count = argument_count();
  for (int32_t i = 1; i <= count; ++i) {
    String argument = ::argument(i);
    if (!read_options) {
      options.target = argument;
      break;
    }
    if (argument == "--") {
      options.setup_from = i + 1;
      break;
    }
    int32_t equals = argument.find("=");
    String name = equals > 0 ? argument.substring(0, equals) : argument;
    Word word = word_of(name);
    if (word == Word::target) {
      if (equals < 0 && i == count) {
        refuse(options, argument);
        continue;
      }
      String value =
          equals > 0 ? argument.substring(equals + 1, argument.length()) : ::argument(++i);
      if (options.target.empty())
        options.target = value;
      continue;
    }
    if (equals < 0 && word != Word::other) {
      static constexpr Action actions[] = {Action::help, Action::list, Action::check};
      if (word <= Word::check)
        set_action(options, actions[uint8_t(word) - 1]);
      options.quiet |= word == Word::quiet;
      options.no_exec |= word == Word::no_exec;
      options.wait |= word == Word::wait;
      options.keep |= word == Word::keep;
      continue;
    }
    // "/D=" ends the command line: the directory may hold blanks unquoted.
    if (host_is_windows && lower_case(argument.substring(0, 3)) == "/d=") {
      String directory = argument.substring(3, argument.length());
      while (i < count)
        directory += String(" ") + ::argument(++i);
      options.target = directory;
      break;
    }
    if (argument.substring(0, 2) == "--" || (!host_is_windows && argument[0] == '-')) {
      refuse(options, argument);
      continue;
    }
    if (options.target.empty())
      options.target = argument;
  }
  return options;
}
