// An injected failure reads as an I/O error.
#include <cerrno>

#include "support/os/seam.h"

void set_injected_error() {
  errno = EIO;
}
