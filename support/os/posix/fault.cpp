// Faults arrive as signals and map to the numbers of the Windows exception
// codes. The handler runs on its own stack, so that a stack overflow can
// still be reported.
#include "support/os/fault.h"

#include <cstdint>
#include <initializer_list>

#include "support/os/directory.h"
#include "support/os/posix/platform.h"
#include "support/os/posix/system_calls.h"
#include "support/runtime/fault_codes.h"
#include "support/runtime/termination.h"

namespace {

alignas(16) char alternate_stack[64 * 1024];

uint32_t exception_for_signal(int signal_number, const siginfo_t* info, void* context) {
  switch (signal_number) {
  case SIGSEGV: {
    // A fault within reach of the stack pointer is the stack running out.
    uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    uintptr_t stack = context_registers(context).stack;
    uintptr_t distance = address > stack ? address - stack : stack - address;
    return distance < 65536 ? exception_stack_overflow : exception_access_violation;
  }
  case SIGBUS:
    return exception_access_violation;
  case SIGILL:
    return exception_privileged_instruction;
  case SIGINT:
    return exception_control_c_exit;
  case SIGFPE:
    switch (info->si_code) {
    case FPE_INTDIV:
      return exception_integer_divide_by_zero;
    case FPE_INTOVF:
      return exception_integer_overflow;
    case FPE_FLTDIV:
      return exception_float_divide_by_zero;
    case FPE_FLTOVF:
      return exception_float_overflow;
    case FPE_FLTUND:
      return exception_float_underflow;
    case FPE_FLTRES:
      return exception_float_inexact;
    case FPE_FLTSUB:
      return exception_array_bounds;
    default:
      return exception_float_invalid;
    }
  default:
    return 0;
  }
}

void on_fault(int signal_number, siginfo_t* info, void* context) {
  if (signal_number == SIGINT)
    remove_unfinished();
  uint32_t code = exception_for_signal(signal_number, info, context);
  run_time_error(error_number_for_exception(code),
                 reinterpret_cast<const void*>(context_registers(context).instruction));
}

// Ended from outside: what the run left unfinished goes, then the signal
// ends the process as it would have.
void on_stop(int signal_number) {
  remove_unfinished();
  sys::signal(signal_number, SIG_DFL);
  sys::raise(signal_number);
}

} // namespace

void install_fault_handler() {
  stack_t stack = {};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  sys::sigaltstack(&stack, nullptr);
  struct sigaction action = {};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sys::sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT})
    sys::sigaction(signal_number, &action, nullptr);
  struct sigaction stop = {};
  stop.sa_handler = on_stop;
  sys::sigemptyset(&stop.sa_mask);
  for (int signal_number : {SIGTERM, SIGHUP})
    sys::sigaction(signal_number, &stop, nullptr);
}
