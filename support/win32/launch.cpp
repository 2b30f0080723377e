// Launching programs through the shell, and pausing.
#include <windows.h>

#include <shellapi.h>

#include "support/launch_command.h"
#include "support/system.h"

// The shell takes no command line as its file, so a command with arguments
// is split into the program and its parameter string first.
void launch_program(const char* verb, const char* file, const char* parameters) {
  if (parameters) {
    ShellExecuteA(nullptr, verb, file, parameters, nullptr, SW_SHOW);
    return;
  }
  LaunchCommand command = split_launch_command(String(file), file_exists);
  ShellExecuteA(nullptr, verb, command.program.c_str(),
                command.parameters.empty() ? nullptr : command.parameters.c_str(), nullptr,
                SW_SHOW);
}

void pause_ms(uint32_t milliseconds) {
  Sleep(milliseconds);
}
