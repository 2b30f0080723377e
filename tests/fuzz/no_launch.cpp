// The fuzzing build's stand-in for launching: a package may name any setup
// command, and a fuzzer must never start one, nor wait a second for it.
#include "support/os/system.h"

bool launch_program(const char*, const char*, const char*, const String*, int32_t, FileHandle,
                    int32_t* exit_code) {
  if (exit_code)
    *exit_code = 0;
  return true;
}

void pause_ms(uint32_t) {}
