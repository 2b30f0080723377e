// The numbers of the run-time errors ("Runtime error NNN at ..."), which
// are also the exit codes, and the system error codes this program sets or
// tests itself. Other I/O failures carry the system's own code.
#pragma once

#include <cstdint>

// Raised by the run-time library.
inline constexpr int32_t error_heap_exhausted = 203;
inline constexpr int32_t error_invalid_pointer = 204; // a block the heap did not hand out

// Processor and system exceptions that nothing handles.
inline constexpr uint8_t error_division_by_zero = 200;
inline constexpr uint8_t error_range_check = 201;
inline constexpr uint8_t error_stack_overflow = 202;
inline constexpr uint8_t error_float_overflow = 205;
inline constexpr uint8_t error_float_underflow = 206;
inline constexpr uint8_t error_invalid_float = 207;
inline constexpr uint8_t error_arithmetic_overflow = 215;
inline constexpr uint8_t error_access_violation = 216;
inline constexpr uint8_t error_control_c = 217;
inline constexpr uint8_t error_privileged_instruction = 218;
inline constexpr int32_t error_unknown_exception = 255;

// System error codes (I/O results); the same numbers on both systems.
inline constexpr uint32_t error_file_not_found = 2;
inline constexpr uint32_t error_access_denied = 5;       // also a write that wrote less than asked
inline constexpr uint32_t error_file_type_unknown = 105; // a created file the system cannot type
inline constexpr uint32_t error_broken_pipe = 109;       // read as the end of a file
