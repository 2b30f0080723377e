// An injected failure reads as a device error.
#include "support/os/win32/system_calls.h"

#include "support/os/seam.h"

void set_injected_error() {
  sys::SetLastError(ERROR_GEN_FAILURE);
}
