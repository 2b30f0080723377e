// The top-level fault handler: a processor or system fault that nothing else
// handles ends in the run-time error report, with the error number mapped
// from the fault and the faulting instruction as the address.
#pragma once

void install_fault_handler();
