// Exception codes mapped to run-time error numbers.
#include "support/text/fault_codes.h"

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
    entry(exception_integer_divide_by_zero, 200), entry(exception_float_divide_by_zero, 200),
    entry(exception_array_bounds, 201),           entry(exception_stack_overflow, 202),
    entry(exception_float_overflow, 205),         entry(exception_float_denormal, 206),
    entry(exception_float_underflow, 206),        entry(exception_float_inexact, 207),
    entry(exception_float_invalid, 207),          entry(exception_float_stack_check, 207),
    entry(exception_integer_overflow, 215),       entry(exception_access_violation, 216),
    entry(exception_control_c_exit, 217),         entry(exception_privileged_instruction, 218),
};
} // namespace

int32_t error_number_for_exception(uint32_t code) {
  if ((code & 0xFFFF0000) == error_status)
    for (const FaultNumber& fault : fault_numbers)
      if (fault.code_low == (code & 0xFFFF))
        return fault.number;
  return 255;
}
