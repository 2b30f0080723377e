// The Windows stub's entry point, without the C run-time's start-up.
#include "driver/driver.h"
#include "support/os/fault.h"
#include "support/os/process.h"
#include "support/runtime/termination.h"

extern "C" void stub_entry() {
  harden_dll_search();
  reset_termination();
  install_fault_handler();
  stub_main();
}
