// The setup command: built from the run record, split for its launch.
#pragma once

#include "package/format.h"
#include "support/runtime/string.h"
#include "support/text/launch_command.h"

inline constexpr int setup_command_size = 256;

// The command text as the run record turns it into the setup command: the
// first "%path%" becomes the target directory and the target directory goes
// in front. An empty text gives an empty command.
String build_setup_command(const String& command_text, const String& target_directory);

// Fills `command` with the setup command of the run record's text, or
// leaves it empty for an empty text. A finished command of more than 255
// bytes is refused (`command_too_long`), never cut.
Verdict set_setup_command(const String& command_text, const String& target_directory,
                          char (&command)[setup_command_size]);

// The program under the target directory and its parameters: the command is
// never split inside the target directory's own text.
LaunchCommand setup_program(const char (&command)[setup_command_size],
                            const String& target_directory);
