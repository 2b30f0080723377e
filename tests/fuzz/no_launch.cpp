// The fuzzing build's stand-in for launching: a package may name any setup
// command, and a fuzzer must never start one, nor wait a second for it.
#include "support/os/system.h"

void launch_program(const char*, const char*, const char*) {}

void pause_ms(uint32_t) {}
