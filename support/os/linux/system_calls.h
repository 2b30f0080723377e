// Linux's calls beyond the POSIX layer's table (support/os/system_call.h).
#pragma once

#include <malloc.h>
#include <sys/random.h>

#include "support/os/posix/system_calls.h"

namespace sys {

SFX_DIRECT_CALL(getrandom, ::getrandom)
SFX_DIRECT_CALL(pread, ::pread)
SFX_DIRECT_CALL(fexecve, ::fexecve)
#ifdef __GLIBC__
SFX_DIRECT_CALL(mallopt, ::mallopt)
#endif

} // namespace sys
