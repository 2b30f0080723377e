// The installer's own command line, for packages that ask for it to be
// read: what to do, where to, how to report, and what to hand the setup.
// Without that request the first argument is the target directory and
// nothing else is read, as installers have always taken it.
#pragma once

#include <cstdint>

#include "support/runtime/string.h"

enum class Action : uint8_t { run, help, list, check, usage_error };

struct InstallerOptions {
  Action action = Action::run;
  String target;          // as given; empty when none was
  bool quiet = false;     // no message box at all
  bool no_exec = false;   // extract only
  bool wait = false;      // wait for the setup, as the package option does
  bool keep = false;      // no cleanup, no restart-list entry
  int32_t setup_from = 0; // the first argument for the setup (behind "--"), 0 for none
  String unknown;         // the option not understood
};

// Reads the process's arguments. With `read_options` they are read left to
// right: "--target DIR" or "--target=DIR", "--help", "--list", "--check",
// "--quiet", "--noexec", "--wait", "--keep", and "--" before the setup's
// own arguments; on Windows also "/?", "/S" (any case) and "/D=DIR", which
// takes the rest of the command line. Any other argument is the target
// (on POSIX one starting with "-" is not understood, as is any other
// "--" option). Only the first target counts.
InstallerOptions read_options(bool read_options);
