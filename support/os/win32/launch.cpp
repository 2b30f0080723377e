// Launching programs through the shell, and pausing.
#include "support/base/bytes.h"
#include "support/os/seam.h"
#include "support/os/system.h"
#include "support/os/win32/system_calls.h"
#include "support/text/command_line.h"

// Waiting takes the process handle that ShellExecuteExA hands back for the
// same verb, file, parameters and directory. A document opened by a program
// that was already running leaves no process to wait for: exit code 0.
bool launch_program(const char* verb, const char* file, const char* stored_parameters,
                    const String* arguments, int32_t count, FileHandle, int32_t* exit_code) {
  if (os_call_fails(OsCall::launch))
    return false;
  String line(stored_parameters ? stored_parameters : "");
  for (int32_t i = 0; i < count; ++i) {
    if (!line.empty())
      line += ' ';
    line += arguments[i];
  }
  const char* parameters = line.empty() ? nullptr : line.c_str();
  if (!exit_code)
    return reinterpret_cast<intptr_t>(
               sys::ShellExecuteA(nullptr, verb, file, parameters, nullptr, SW_SHOW)) > 32;
  SHELLEXECUTEINFOA launch;
  fill_bytes(&launch, 0, sizeof launch);
  launch.cbSize = sizeof launch;
  launch.fMask = SEE_MASK_NOCLOSEPROCESS;
  launch.lpVerb = verb;
  launch.lpFile = file;
  launch.lpParameters = parameters;
  launch.nShow = SW_SHOW;
  if (!sys::ShellExecuteExA(&launch))
    return false;
  DWORD code = 0;
  if (launch.hProcess) {
    sys::WaitForSingleObject(launch.hProcess, INFINITE);
    sys::GetExitCodeProcess(launch.hProcess, &code);
    sys::CloseHandle(launch.hProcess);
  }
  *exit_code = static_cast<int32_t>(code);
  return true;
}

void pause_ms(uint32_t milliseconds) {
  sys::Sleep(static_cast<uint32_t>(os_seam(OsCall::pause, int32_t(milliseconds))));
}
