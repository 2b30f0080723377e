// The process frame of the Windows stub: arguments from the command line,
// the standard handles or the parent's console, the message box and the
// end of the process. Linked into the stub alone: tests and tools give
// frames of their own.
#include "support/os/win32/system_calls.h"

#include "support/os/process.h"
#include "support/platform/process_exit.h"
#include "support/text/command_line.h"

int32_t argument_count() {
  return count_arguments(sys::GetCommandLineA());
}

String argument(int32_t n) {
  if (n == 0) {
    char path[261];
    DWORD length = sys::GetModuleFileNameA(nullptr, path, sizeof path);
    return String(path, length < sizeof path ? int32_t(length) : 0);
  }
  return argument_from(sys::GetCommandLineA(), n);
}

int32_t arguments_behind(int32_t n, String** words) {
  return rest_of_line(behind_arguments(sys::GetCommandLineA(), n), words);
}

// A program built for windows has no console of its own: where it was
// given no standard handle it writes to the console of the program that
// started it, when it has one (AttachConsole, from Windows XP on).
bool write_standard(int32_t stream, const char* text, int32_t length) {
  static HANDLE console = nullptr;
  HANDLE handle = sys::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (!handle || handle == INVALID_HANDLE_VALUE) {
    if (!console) {
      console = INVALID_HANDLE_VALUE;
      auto attach = sys::AttachConsole();
      if (attach && attach(ATTACH_PARENT_PROCESS))
        console = sys::CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    }
    handle = console;
  }
  DWORD written = 0;
  return handle != INVALID_HANDLE_VALUE &&
         sys::WriteFile(handle, text, DWORD(length), &written, nullptr) && written == DWORD(length);
}

int show_message(const char* text, const char* caption, uint32_t flags) {
  return sys::MessageBoxA(nullptr, text, caption, flags);
}

void end_process(int32_t exit_code) {
  sys::ExitProcess(static_cast<UINT>(exit_code));
}
