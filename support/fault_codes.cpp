// Exception codes mapped to run-time error numbers.
#include "support/fault_codes.h"

namespace {
struct FaultNumber {
  uint32_t code;
  uint8_t number;
};

constexpr FaultNumber fault_numbers[] = {
    {exception_integer_divide_by_zero, 200}, {exception_float_divide_by_zero, 200},
    {exception_array_bounds, 201},           {exception_stack_overflow, 202},
    {exception_float_overflow, 205},         {exception_float_denormal, 206},
    {exception_float_underflow, 206},        {exception_float_inexact, 207},
    {exception_float_invalid, 207},          {exception_float_stack_check, 207},
    {exception_integer_overflow, 215},       {exception_access_violation, 216},
    {exception_control_c_exit, 217},         {exception_privileged_instruction, 218},
};
} // namespace

int32_t error_number_for_exception(uint32_t code) {
  for (const FaultNumber& entry : fault_numbers)
    if (entry.code == code)
      return entry.number;
  return 255;
}
