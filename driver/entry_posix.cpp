// The POSIX stub's entry point: the frame takes the arguments, then the
// stub runs.
#include "driver/driver.h"
#include "support/os/fault.h"
#include "support/os/posix/frame.h"
#include "support/runtime/termination.h"

int main(int argc, char** argv) {
  take_arguments(argc, argv);
  reset_termination();
  install_fault_handler();
  stub_main();
}
