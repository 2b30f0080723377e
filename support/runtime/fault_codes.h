// Run-time error numbers for processor and system exceptions.
#pragma once

#include <cstdint>

inline constexpr uint32_t exception_access_violation = 0xC0000005;
inline constexpr uint32_t exception_array_bounds = 0xC000008C;
inline constexpr uint32_t exception_float_denormal = 0xC000008D;
inline constexpr uint32_t exception_float_divide_by_zero = 0xC000008E;
inline constexpr uint32_t exception_float_inexact = 0xC000008F;
inline constexpr uint32_t exception_float_invalid = 0xC0000090;
inline constexpr uint32_t exception_float_overflow = 0xC0000091;
inline constexpr uint32_t exception_float_stack_check = 0xC0000092;
inline constexpr uint32_t exception_float_underflow = 0xC0000093;
inline constexpr uint32_t exception_integer_divide_by_zero = 0xC0000094;
inline constexpr uint32_t exception_integer_overflow = 0xC0000095;
inline constexpr uint32_t exception_privileged_instruction = 0xC0000096;
inline constexpr uint32_t exception_stack_overflow = 0xC00000FD;
inline constexpr uint32_t exception_control_c_exit = 0xC000013A;

// The run-time error number for an exception code; 255 for unknown codes.
int32_t error_number_for_exception(uint32_t code);
