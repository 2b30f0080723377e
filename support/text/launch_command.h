// Splitting a setup command into the program and its parameter string.
//
// The shell does not parse a command line given as the file to start, so a
// command with arguments is split first: a leading double-quoted part is the
// program; otherwise the program is the shortest prefix, ending before a
// blank or at the end, that names an existing file (as a Windows command line
// with an unquoted path holding blanks is resolved); failing that, the text
// up to the first blank. The program is never shorter than
// `shortest_program` bytes: a setup command's program lies under the target
// directory, so no split point inside that directory's own text is tried
// (a file "C:\x\my" must not run for the target "C:\x\my dir\"). The
// rest, after the separating blanks, is the parameter string, unchanged.
#pragma once

#include "support/runtime/string.h"

struct LaunchCommand {
  String program;
  String parameters;
};

LaunchCommand split_launch_command(const String& command, int32_t shortest_program,
                                   bool (*exists)(const String& path));
