// An injected failure reads as a device error.
#include <windows.h>

#include "support/os/seam.h"

void set_injected_error() {
  SetLastError(ERROR_GEN_FAILURE);
}
