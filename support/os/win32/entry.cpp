// The process frame of the Windows stub: its entry point (no C run-time
// start-up), arguments from the command line, the message box and the end
// of the process.
#include <windows.h>

#include "driver/driver.h"
#include "support/os/fault.h"
#include "support/os/process.h"
#include "support/os/win32/kernel.h"
#include "support/runtime/termination.h"
#include "support/text/command_line.h"

namespace {

// Only the system directory is searched for DLLs, so that a DLL planted in
// the download folder is never loaded. Looked up at run time: older systems
// lack the call and still start.
void restrict_dll_search() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  if (auto set_directories =
          reinterpret_cast<SetDirectories>(kernel_procedure("SetDefaultDllDirectories")))
    set_directories(0x00000800); // LOAD_LIBRARY_SEARCH_SYSTEM32
}

} // namespace

extern "C" void stub_entry() {
  restrict_dll_search();
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
