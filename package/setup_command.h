// The setup command: read from the run record, launched after extraction.
#pragma once

#include "support/os/files.h"
#include "support/runtime/string.h"

inline constexpr int setup_command_size = 256;

enum class RunRecordOutcome {
  read,
  length_rejected, // "File Read Execution File error(1)!"
  too_long,        // "File Read Execution File error(2)!"
};

const char* run_record_message(RunRecordOutcome outcome);

// Reads the run record behind the run marker at the package's position into
// `command`: the first "%path%" becomes the target directory and the target
// directory goes in front. An empty command leaves the buffer empty. A
// finished command of more than 255 bytes is refused, never cut.
RunRecordOutcome read_run_record(FileHandle package, const String& target_directory,
                                 char (&command)[setup_command_size]);

// The command text as the run record turns it into the setup command.
String build_setup_command(const String& command_text, const String& target_directory);

// Changes to the target directory (a failure ends the process with the
// system's error code), splits the command into the program under the
// target directory and its parameters, starts it with the verb "open" and
// pauses one second. Does nothing for an empty command.
void launch_setup_command(const char (&command)[setup_command_size],
                          const String& target_directory);
