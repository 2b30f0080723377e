// The top-level fault handler on Windows: the system's unhandled-exception
// filter calls it for a fault that nothing else handles.
#include "support/os/fault.h"

#include "support/os/win32/system_calls.h"

#include "support/runtime/fault_codes.h"
#include "support/runtime/termination.h"

namespace {

LONG WINAPI on_fault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  run_time_error(error_number_for_exception(record->ExceptionCode), record->ExceptionAddress);
}

} // namespace

void install_fault_handler() {
  // Keep stack in reserve, so that the report can still be shown when the
  // stack itself has run out; looked up at run time, as older systems lack
  // the call.
  if (auto guarantee = sys::SetThreadStackGuarantee()) {
    ULONG reserve = 64 * 1024;
    guarantee(&reserve);
  }
  sys::SetUnhandledExceptionFilter(on_fault);
}
