// The text of the run-time error report, filled in place without allocating.
#pragma once

#include <cstdint>

constexpr char report_template[] = "Runtime error     at 00000000";
inline constexpr int report_size = sizeof(report_template); // 29 characters and a NUL

// Writes `number` (read as unsigned) in decimal ending at position 16 and
// `offset` in upper-case hexadecimal ending at position 28 into `report`,
// which holds the template. Digits run leftwards over the template.
void fill_report(char* report, uint32_t number, uintptr_t offset);
