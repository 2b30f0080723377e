// The armed seam of the test builds: counts calls and fails the chosen one.
#include "support/os/seam.h"

namespace {
int32_t armed_at = 0;
int32_t calls = 0;
SeamFault armed_fault = SeamFault::fail;
bool fired = false;
void (*armed_action)() = nullptr;
bool by_kind = false;
OsCall armed_kind = OsCall::open;
bool answering = false;
OsCall answer_kind = OsCall::code_page;
uint32_t armed_answer = 0;
} // namespace

void seam_arm(int32_t call_number, SeamFault fault) {
  armed_at = call_number;
  armed_fault = fault;
  armed_action = nullptr;
  by_kind = false;
  answering = false;
  calls = 0;
  fired = false;
}

void seam_arm_action(int32_t call_number, void (*action)()) {
  seam_arm(call_number, SeamFault::fail);
  armed_action = action;
}

void seam_arm_kind(OsCall call) {
  seam_arm(1, SeamFault::fail);
  by_kind = true;
  armed_kind = call;
}

void seam_arm_answer(OsCall call, uint32_t answer) {
  seam_arm(0, SeamFault::fail);
  answering = true;
  answer_kind = call;
  armed_answer = answer;
}

uint32_t os_answer(OsCall call, uint32_t answer) {
  return answering && call == answer_kind ? armed_answer : answer;
}

bool seam_fired() {
  return fired;
}

int32_t os_seam(OsCall call, int32_t count) {
  if (armed_at == 0)
    return count;
  if (call == OsCall::pause)
    return 0;
  bool counted =
      by_kind ? call == armed_kind && !fired
              : armed_fault == SeamFault::fail || call == OsCall::read || call == OsCall::write;
  if (!counted || ++calls != armed_at)
    return count;
  fired = true;
  if (armed_action) {
    armed_action();
    return count;
  }
  if (armed_fault == SeamFault::short_count)
    return count / 2;
  set_injected_error();
  return -1;
}
