// The driver as the body of an in-process run.
#include "driver/driver.h"
#include "harness/harness.h"

namespace harness {

Outcome run_stub(const Setup& setup) {
  return run(setup, [] { stub_main(); });
}

} // namespace harness
