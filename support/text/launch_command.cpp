// Splitting a setup command into program and parameters.
#include "support/text/launch_command.h"

namespace {
bool is_blank(char byte) {
  return byte == ' ' || byte == '\t';
}

String rest_after(const String& command, int32_t position) {
  while (position < command.length() && is_blank(command[position]))
    ++position;
  return command.substring(position, command.length() - position);
}
} // namespace

LaunchCommand split_launch_command(const String& command, int32_t shortest_program,
                                   bool (*exists)(const String& path)) {
  int32_t length = command.length();
  int32_t start = 0;
  while (start < length && is_blank(command[start]))
    ++start;
  if (start < length && command[start] == '"') {
    int32_t close = start + 1;
    while (close < length && command[close] != '"')
      ++close;
    return {command.substring(start + 1, close - start - 1),
            rest_after(command, close < length ? close + 1 : close)};
  }
  int32_t first_blank = -1;
  for (int32_t end = start + shortest_program; end <= length; ++end) {
    if (end < length && !is_blank(command[end]))
      continue;
    if (end > start && (end == length || !is_blank(command[end - 1]))) {
      if (first_blank < 0)
        first_blank = end;
      String candidate = command.substring(start, end - start);
      if (exists(candidate))
        return {candidate, rest_after(command, end)};
    }
  }
  if (first_blank < 0)
    first_blank = length;
  return {command.substring(start, first_blank - start), rest_after(command, first_blank)};
}
