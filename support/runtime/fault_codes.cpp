// Exception codes mapped to run-time error numbers.
#include "support/runtime/fault_codes.h"
#include "support/runtime/error_numbers.h"

namespace {
// Every code in the table is an error status (0xC000xxxx), so an entry keeps
// only the low half: the table is a third of its full size.
constexpr uint32_t error_status = 0xC0000000;

struct FaultNumber {
  uint16_t code_low;
  uint8_t number;
};

constexpr FaultNumber entry(uint32_t code, uint8_t number) {
  return {uint16_t(code - error_status), number};
}

constexpr FaultNumber fault_numbers[] = {
    entry(exception_integer_divide_by_zero, error_division_by_zero),
    entry(exception_float_divide_by_zero, error_division_by_zero),
    entry(exception_array_bounds, error_range_check),
    entry(exception_stack_overflow, error_stack_overflow),
    entry(exception_float_overflow, error_float_overflow),
    entry(exception_float_denormal, error_float_underflow),
    entry(exception_float_underflow, error_float_underflow),
    entry(exception_float_inexact, error_invalid_float),
    entry(exception_float_invalid, error_invalid_float),
    entry(exception_float_stack_check, error_invalid_float),
    entry(exception_integer_overflow, error_arithmetic_overflow),
    entry(exception_access_violation, error_access_violation),
    entry(exception_control_c_exit, error_control_c),
    entry(exception_privileged_instruction, error_privileged_instruction),
};
} // namespace

int32_t error_number_for_exception(uint32_t code) {
  if ((code & 0xFFFF0000) == error_status)
    for (const FaultNumber& fault : fault_numbers)
      if (fault.code_low == (code & 0xFFFF))
        return fault.number;
  return error_unknown_exception;
}
