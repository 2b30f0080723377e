// The two kinds of row of a system's table of calls
// (support/os/<system>/system_calls.h), the only code of the OS layer that
// calls the system itself. A check (tools/check-structure.py) finds a
// system call made anywhere else.
//
// A seamed row asks the seam first, with its kind, and when the seam fails
// it answers as the routine answers a failure (the seam has set the
// system's last error), so the caller needs no test of its own. A direct
// row goes straight through: a release, an answer that cannot fail, or one
// step of an OS function that asked the seam once for the whole operation
// (its kind is the one the seam's table test names for that function).
// Both compile to the bare call when the seam is the shipped constant.
#pragma once

#include "support/os/seam.h"

#define SFX_SEAMED_CALL(name, kind, failed, routine)                                               \
  template <typename... Arguments>                                                                 \
  inline auto name(Arguments... arguments)->decltype(routine(arguments...)) {                      \
    if (os_call_fails(kind))                                                                       \
      return decltype(routine(arguments...))(failed);                                              \
    return routine(arguments...);                                                                  \
  }

#define SFX_DIRECT_CALL(name, routine)                                                             \
  template <typename... Arguments>                                                                 \
  inline auto name(Arguments... arguments)->decltype(routine(arguments...)) {                      \
    return routine(arguments...);                                                                  \
  }
