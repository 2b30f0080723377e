// The top-level fault handler on Windows: the system's unhandled-exception
// filter calls it for a fault that nothing else handles.
#include "support/fault.h"

#include <windows.h>

#include "support/fault_codes.h"
#include "support/termination.h"

namespace {

struct Fault {
  int32_t number;
  const void* address;
};

DWORD WINAPI report_fault(void* parameter) {
  const Fault* fault = static_cast<const Fault*>(parameter);
  run_time_error(fault->number, fault->address);
}

LONG WINAPI on_fault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  Fault fault{error_number_for_exception(record->ExceptionCode), record->ExceptionAddress};
  // A thread whose stack ran out has too little left for the report's
  // message box: it is shown from a fresh thread, which ends the process.
  if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    if (HANDLE thread = CreateThread(nullptr, 0, report_fault, &fault, 0, nullptr))
      WaitForSingleObject(thread, INFINITE);
  }
  run_time_error(fault.number, fault.address);
}

} // namespace

void install_fault_handler() {
  // Keep stack in reserve for the handler when the stack itself runs out;
  // looked up at run time, as older systems lack the call.
  using Guarantee = BOOL(WINAPI*)(PULONG);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (auto guarantee = reinterpret_cast<Guarantee>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadStackGuarantee")))) {
    ULONG reserve = 64 * 1024;
    guarantee(&reserve);
  }
  SetUnhandledExceptionFilter(on_fault);
}
