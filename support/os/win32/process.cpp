// Where an address lies, for the run-time error report, and the search
// for the DLLs the stub loads.
#include "support/os/win32/system_calls.h"

#include "support/base/bytes.h"
#include "support/base/c_string.h"
#include "support/os/process.h"
#include "support/os/seam.h"
#include "support/platform/process_exit.h"

uintptr_t allocation_base(const void* address) {
  MEMORY_BASIC_INFORMATION region;
  if (sys::VirtualQuery(address, &region, sizeof region) == 0 || region.State != MEM_COMMIT)
    return 0;
  return reinterpret_cast<uintptr_t>(region.AllocationBase);
}

// Where SetDefaultDllDirectories exists, only the system directory is
// searched. Where it does not (Vista, 7 without its update), the current
// directory leaves the search and the DLLs that the message box and the
// shell load on demand are loaded now by their full system-directory path,
// their own dependencies searched from there first
// (LOAD_WITH_ALTERED_SEARCH_PATH), so that a copy planted beside the stub is
// never found first. Both calls are looked up: older systems lack them and
// still start.
void harden_dll_search() {
  if (auto set_directories = sys::SetDefaultDllDirectories()) {
    set_directories(0x00000800); // LOAD_LIBRARY_SEARCH_SYSTEM32
    return;
  }
  if (auto set_directory = sys::SetDllDirectoryA())
    set_directory("");
  static constexpr char names[] = "uxtheme\0dwmapi\0cryptbase\0apphelp\0ntmarta\0userenv\0"
                                  "version\0propsys\0profapi\0setupapi\0oleacc\0clbcatq\0";
  char path[MAX_PATH];
  UINT directory = sys::GetSystemDirectoryA(path, MAX_PATH - 16);
  if (directory == 0 || directory >= MAX_PATH - 16)
    return;
  path[directory++] = '\\';
  for (const char* name = names; *name; name += c_string_length(name) + 1) {
    copy_bytes(path + directory, name, size_t(c_string_length(name)));
    copy_bytes(path + directory + c_string_length(name), ".dll", 5);
    sys::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}
