// The stub's control flow, run once by the process frame.
#pragma once

// Chooses the target directory, tells a head from a package by the split-set
// header and either joins the split set or extracts the package, launches its
// setup command and registers the stub for deletion at the next restart.
// Every path ends the process through `halt`.
[[noreturn]] void stub_main();
