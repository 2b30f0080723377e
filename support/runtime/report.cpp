// Filling the run-time error report in place.
#include "support/runtime/report.h"

#include "support/base/c_string.h"

void fill_report(char* report, uint32_t number, uintptr_t offset) {
  int position = 16;
  do {
    report[position--] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0 && position >= 0);

  position = 28;
  do {
    report[position--] = hex_digit(static_cast<uint32_t>(offset));
    offset >>= 4;
  } while (offset != 0 && position >= 0);
}
