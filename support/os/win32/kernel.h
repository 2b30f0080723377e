// Calls of the Windows kernel that older systems lack, looked up at run time
// so that the stub still starts there.
#pragma once

// The kernel32 routine of that name, or null.
void* kernel_procedure(const char* name);
