// The POSIX stub's process frame (frame.cpp), for its entry point.
#pragma once

// Keeps `argv` for `argument` and the other calls of process.h.
void take_arguments(int argc, char** argv);
