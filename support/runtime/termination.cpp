// The termination state, run-time errors, io_check and halt.
#include "support/runtime/termination.h"

#include "support/base/c_string.h"
#include "support/platform/process_exit.h"
#include "support/runtime/report.h"

TerminationState termination;

namespace {
// Static so that heap exhaustion can always be reported.
char report_buffer[report_size];
} // namespace

void reset_termination() {
  termination = TerminationState{0, nullptr, 0, MessageChannel::box};
}

void halt() {
  if (termination.error_address) {
    for (int i = 0; i < report_size; ++i)
      report_buffer[i] = report_template[i];
    uintptr_t address = reinterpret_cast<uintptr_t>(termination.error_address);
    fill_report(report_buffer, static_cast<uint32_t>(termination.exit_code),
                address - allocation_base(termination.error_address));
    tell_user(report_buffer, "Error");
    termination.error_address = nullptr;
  }
  // The end of the process gives its memory back; a test's harness gives
  // the heap back itself, once it has read what the run took.
  end_process(termination.exit_code);
}

void tell_user(const char* text, const char* caption) {
  if (termination.channel != MessageChannel::box) {
    const char* parts[] = {caption, ": ", text, "\n"};
    bool written = true;
    for (const char* part : parts)
      written = write_standard(2, part, c_string_length(part)) && written;
    if (written || termination.channel == MessageChannel::quiet)
      return;
  }
  show_message(text, caption, 0);
}

// A run that showed a warning failed: its caller sees exit code 1.
void warn_and_halt(const char* text) {
  tell_user(text, "Warning");
  termination.exit_code = warning_exit_code;
  halt();
}

void run_time_error(int32_t number, const void* address) {
  termination.exit_code = number;
  termination.error_address = address;
  halt();
}

void set_io_result(uint32_t code) {
  termination.io_result = code;
}

[[gnu::noinline]] void io_check() {
  if (termination.io_result != 0)
    run_time_error(static_cast<int32_t>(termination.io_result), __builtin_return_address(0));
}
