// The seam through which a test build can fail any system call of the stub.
//
// Every OS operation asks the seam first. In the shipped stub the seam is a
// constant that lets every call through and costs nothing; in test builds
// (SFX_OS_SEAM) a test arms it to fail the Nth call, or to let the Nth read
// or write move fewer bytes than asked, and reruns a scenario with the
// fault moved to call 1, 2, 3, ... until a run meets no fault.
#pragma once

#include <cstdint>

enum class OsCall : uint8_t {
  open,
  create,
  read,
  write,
  seek,
  close,
  remove,
  move,
  make_directory,
  commit, // memory for the heap
  launch,
  lookup,           // an optional system routine looked up by name
  query,            // a question the system answers: a path, a type, a directory
  attributes,       // a file's attributes set
  change_directory, // the current directory changed
  pause,            // not counted: an armed seam skips the pause, so fault loops run fast
  code_page,        // not counted: the system's ANSI code page, an answer a test may choose
};

// The count the call may move: `count`, fewer, or -1 when the call is to
// fail; a failing call has set the system's last error. And the system's
// `answer` to a question of kind `call`, or the one a test armed in its
// place. Without the seam both pass the system's values through.
#ifdef SFX_OS_SEAM
int32_t os_seam(OsCall call, int32_t count);
uint32_t os_answer(OsCall call, uint32_t answer);
#else
constexpr int32_t os_seam(OsCall, int32_t count) {
  return count;
}
constexpr uint32_t os_answer(OsCall, uint32_t answer) {
  return answer;
}
#endif

// True when the seam fails this call (which moves no count).
inline bool os_call_fails(OsCall call) {
  return os_seam(call, 1) < 0;
}

#ifdef SFX_OS_SEAM
enum class SeamFault : uint8_t { fail, short_count };

// Arms the seam: the `call_number`-th call from now (counting from 1) fails,
// or, for `short_count`, the `call_number`-th read or write moves half its
// count (other calls are counted but go through). 0 disarms.
void seam_arm(int32_t call_number, SeamFault fault);

// Arms the seam to run `action` just before the `call_number`-th call from
// now and let that call through: a test's way to change the disk between
// two calls of the stub.
void seam_arm_action(int32_t call_number, void (*action)());

// Arms the seam to fail the first call of kind `call` from now, whatever
// calls of other kinds (the heap's, say) come before it.
void seam_arm_kind(OsCall call);

// Makes every question of kind `call` answer `answer` until the seam is
// armed anew: a test's way to run on a system that answers otherwise.
void seam_arm_answer(OsCall call, uint32_t answer);

// Whether the armed fault has been met since the last `seam_arm`.
bool seam_fired();

// What the system's last error reads after an injected failure
// (support/os/<system>/seam_error.cpp).
void set_injected_error();
#endif
