// The process frame of the Windows stub: its entry point (no C run-time
// start-up), arguments from the command line, the message box and the end
// of the process.
#include <windows.h>

#include "driver/driver.h"
#include "support/os/fault.h"
#include "support/os/process.h"
#include "support/os/process_exit.h"
#include "support/runtime/termination.h"
#include "support/text/command_line.h"

extern "C" void stub_entry() {
  harden_dll_search();
  reset_termination();
  install_fault_handler();
  stub_main();
}

int32_t argument_count() {
  return count_arguments(GetCommandLineA());
}

String argument(int32_t n) {
  if (n == 0) {
    char path[261];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return String(path, length < sizeof path ? int32_t(length) : 0);
  }
  return argument_from(GetCommandLineA(), n);
}

int show_message(const char* text, const char* caption, uint32_t flags) {
  return MessageBoxA(nullptr, text, caption, flags);
}

void end_process(int32_t exit_code) {
  ExitProcess(static_cast<UINT>(exit_code));
}
