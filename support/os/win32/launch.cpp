// Launching programs through the shell, and pausing.
#include <windows.h>

#include <shellapi.h>

#include "support/os/seam.h"
#include "support/os/system.h"

void launch_program(const char* verb, const char* file, const char* parameters) {
  if (!os_call_fails(OsCall::launch))
    ShellExecuteA(nullptr, verb, file, parameters, nullptr, SW_SHOW);
}

void pause_ms(uint32_t milliseconds) {
  Sleep(static_cast<uint32_t>(os_seam(OsCall::pause, int32_t(milliseconds))));
}
