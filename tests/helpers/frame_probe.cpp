// A program on the stub's process frame whose body does what its first
// argument names, so that tests can watch how the frame ends a process.
#include "driver/driver.h"
#include "support/os/paths.h"
#include "support/os/process.h"
#include "support/runtime/heap.h"
#include "support/runtime/termination.h"

namespace {

volatile int zero = 0;
int* volatile nowhere = nullptr;

// Recurses until the stack runs out; `zero` keeps the compiler from seeing
// that it never returns.
int recurse(int depth) {
  volatile char pad[1024];
  pad[0] = char(depth);
  if (zero > 1)
    return pad[0];
  return recurse(depth + 1) + pad[0];
}

bool is(const String& word, const char* name) {
  return word == name;
}

} // namespace

void stub_main() {
  String word = argument(1);
  if (is(word, "warn")) {
    warn_and_halt("Probe warning");
  }
  if (is(word, "heap"))
    heap_allocate(-1);
  if (is(word, "foreign")) {
    static int not_a_block;
    heap_release(&not_a_block);
  }
  if (is(word, "cd")) {
    change_directory(argument(2));
    io_check();
  }
  if (is(word, "fault"))
    *nowhere = 1;
  if (is(word, "divide"))
    zero = 10 / zero;
  if (is(word, "stack"))
    zero = recurse(0);
  halt();
}
