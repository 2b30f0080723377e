// The lead-byte table of the system code page.
#include "support/base/code_page.h"

#include "support/base/bytes.h"

namespace {
uint8_t lead_byte_ranges[lead_byte_ranges_size];
} // namespace

void set_lead_byte_ranges(const uint8_t* ranges) {
  fill_bytes(lead_byte_ranges, 0, sizeof lead_byte_ranges);
  for (int32_t i = 0; i + 1 < lead_byte_ranges_size - 2 && (ranges[i] | ranges[i + 1]); i += 2) {
    lead_byte_ranges[i] = ranges[i];
    lead_byte_ranges[i + 1] = ranges[i + 1];
  }
}

int32_t next_character(const char* text, int32_t length, int32_t at) {
  return at + (at + 1 < length && is_lead_byte(static_cast<uint8_t>(text[at])) ? 2 : 1);
}

bool is_lead_byte(uint8_t byte) {
  for (int32_t i = 0; lead_byte_ranges[i + 1] != 0; i += 2)
    if (byte >= lead_byte_ranges[i] && byte <= lead_byte_ranges[i + 1])
      return true;
  return false;
}
