#include "support/fault_codes.h"

int32_t error_number_for_exception(uint32_t code) {
  switch (code) {
  case exception_integer_divide_by_zero:
  case exception_float_divide_by_zero:
    return 200;
  case exception_array_bounds:
    return 201;
  case exception_stack_overflow:
    return 202;
  case exception_float_overflow:
    return 205;
  case exception_float_denormal:
  case exception_float_underflow:
    return 206;
  case exception_float_inexact:
  case exception_float_invalid:
  case exception_float_stack_check:
    return 207;
  case exception_integer_overflow:
    return 215;
  case exception_access_violation:
    return 216;
  case exception_control_c_exit:
    return 217;
  case exception_privileged_instruction:
    return 218;
  default:
    return 255;
  }
}
