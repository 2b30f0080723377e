// The end of the process: the termination state, run-time errors and halt.
//
// Failures that the stub does not test for itself end here with a report
// "Runtime error NNN at XXXXXXXX" captioned "Error" and the error number as
// the exit code. Every end of the process, the quiet ones included, goes
// through `halt`.
#pragma once

#include <cstdint>

// Where the user's messages go: message boxes; a line on standard error,
// or a box where the process has none (a run on the command line); or
// standard error alone, never a box (a run told to be quiet).
enum class MessageChannel : uint8_t { box, text, quiet };

struct TerminationState {
  int32_t exit_code;
  const void* error_address; // non-null: a report is due at halt
  uint32_t io_result;        // pending I/O error code, 0 for none
  MessageChannel channel;
};

extern TerminationState termination;

// Clears the termination state, as at the start of the process.
void reset_termination();

// Shows the report if one is due and ends the process.
[[noreturn]] void halt();

// Records the error number as exit code and the attributed address, then halts.
[[noreturn]] void run_time_error(int32_t number, const void* address);

// The exit code of a run that ended in a "Warning" message.
inline constexpr int32_t warning_exit_code = 1;

// Tells the user `text` under `caption` through the message channel.
void tell_user(const char* text, const char* caption);

// The exit code of a run whose command line could not be read.
inline constexpr int32_t usage_exit_code = 2;

// Shows `text` in a message captioned "Warning", then halts with
// `warning_exit_code`.
[[noreturn]] void warn_and_halt(const char* text);

// Records a failed I/O operation's error code for the next `io_check`.
void set_io_result(uint32_t code);

// Ends the process with the pending I/O error code, if any, attributed to the
// instruction after this call.
void io_check();
