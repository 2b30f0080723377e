// Splitting a setup command into the program and its parameter string.
//
// The shell does not parse a command line given as the file to start, so a
// command with arguments is split first: a leading double-quoted part is the
// program; otherwise the program is the shortest prefix, ending before a
// blank or at the end, that names an existing file (as a Windows command line
// with an unquoted path holding blanks is resolved); failing that, the first
// blank-delimited word. The rest, after the separating blanks, is the
// parameter string, unchanged.
#pragma once

#include "support/string.h"

struct LaunchCommand {
  String program;
  String parameters;
};

LaunchCommand split_launch_command(const String& command, bool (*exists)(const String& path));
