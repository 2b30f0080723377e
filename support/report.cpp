// Filling the run-time error report in place.
#include "support/report.h"

void fill_report(char* report, uint32_t number, uintptr_t offset) {
  int position = 16;
  do {
    report[position--] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0 && position >= 0);

  static constexpr char hex[] = "0123456789ABCDEF";
  position = 28;
  do {
    report[position--] = hex[offset & 15];
    offset >>= 4;
  } while (offset != 0 && position >= 0);
}
