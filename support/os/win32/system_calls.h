// Every call the Windows layer makes of the system, one row each
// (support/os/system_call.h says what a seamed and a direct row are).
// Routines that older systems lack have rows that look them up by name
// and answer the routine, or null where it is missing; the caller calls
// through that. A seamed lookup fails as a missing routine.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <winternl.h>

#include "support/os/system_call.h"

namespace sys {

// Files and directories.
SFX_DIRECT_CALL(CreateFileA, ::CreateFileA)
SFX_DIRECT_CALL(CloseHandle, ::CloseHandle)
SFX_DIRECT_CALL(ReadFile, ::ReadFile)
SFX_DIRECT_CALL(WriteFile, ::WriteFile)
SFX_SEAMED_CALL(SetFilePointer, OsCall::seek, INVALID_SET_FILE_POINTER, ::SetFilePointer)
SFX_SEAMED_CALL(GetFileType, OsCall::query, FILE_TYPE_UNKNOWN, ::GetFileType)
SFX_SEAMED_CALL(GetFileInformationByHandle, OsCall::query, FALSE, ::GetFileInformationByHandle)
SFX_SEAMED_CALL(GetFileAttributesA, OsCall::query, INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA)
SFX_SEAMED_CALL(GetFullPathNameA, OsCall::query, 0, ::GetFullPathNameA)
SFX_SEAMED_CALL(GetShortPathNameA, OsCall::query, 0, ::GetShortPathNameA)
SFX_DIRECT_CALL(DeviceIoControl, ::DeviceIoControl)
SFX_DIRECT_CALL(DeleteFileA, ::DeleteFileA)
SFX_DIRECT_CALL(MoveFileA, ::MoveFileA)
SFX_DIRECT_CALL(MoveFileExA, ::MoveFileExA)
SFX_DIRECT_CALL(CreateDirectoryA, ::CreateDirectoryA)
SFX_SEAMED_CALL(SetCurrentDirectoryA, OsCall::change_directory, FALSE, ::SetCurrentDirectoryA)
SFX_DIRECT_CALL(GetTempPathA, ::GetTempPathA)
SFX_SEAMED_CALL(GetWindowsDirectoryA, OsCall::query, 0, ::GetWindowsDirectoryA)
SFX_DIRECT_CALL(GetSystemDirectoryA, ::GetSystemDirectoryA)

// The system, its text and its modules.
SFX_DIRECT_CALL(GetLastError, ::GetLastError)
SFX_DIRECT_CALL(SetLastError, ::SetLastError)
SFX_DIRECT_CALL(GetVersion, ::GetVersion)
SFX_DIRECT_CALL(GetACP, ::GetACP)
SFX_DIRECT_CALL(GetCPInfo, ::GetCPInfo)
SFX_DIRECT_CALL(MultiByteToWideChar, ::MultiByteToWideChar)
SFX_DIRECT_CALL(WideCharToMultiByte, ::WideCharToMultiByte)
SFX_DIRECT_CALL(GetModuleHandleA, ::GetModuleHandleA)
SFX_DIRECT_CALL(GetProcAddress, ::GetProcAddress)
SFX_DIRECT_CALL(LoadLibraryExA, ::LoadLibraryExA)
SFX_DIRECT_CALL(GetModuleFileNameA, ::GetModuleFileNameA)
SFX_DIRECT_CALL(VirtualQuery, ::VirtualQuery)
SFX_SEAMED_CALL(LocalAlloc, OsCall::commit, nullptr, ::LocalAlloc)
SFX_DIRECT_CALL(LocalFree, ::LocalFree)

// The process: its command line, its console, messages, programs it
// starts, faults and its end.
SFX_DIRECT_CALL(GetCommandLineA, ::GetCommandLineA)
SFX_DIRECT_CALL(GetStdHandle, ::GetStdHandle)
SFX_DIRECT_CALL(MessageBoxA, ::MessageBoxA)
SFX_DIRECT_CALL(ShellExecuteA, ::ShellExecuteA)
SFX_DIRECT_CALL(ShellExecuteExA, ::ShellExecuteExA)
SFX_DIRECT_CALL(WaitForSingleObject, ::WaitForSingleObject)
SFX_DIRECT_CALL(GetExitCodeProcess, ::GetExitCodeProcess)
SFX_DIRECT_CALL(Sleep, ::Sleep)
SFX_DIRECT_CALL(SetUnhandledExceptionFilter, ::SetUnhandledExceptionFilter)

[[noreturn]] inline void ExitProcess(UINT exit_code) {
  ::ExitProcess(exit_code);
}

// The routine `name` of the loaded system module `module`, or null.
inline void* procedure_of(const char* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(module), name));
}

#define SFX_LOOKED_UP_CALL(name, module, type)                                                     \
  inline auto name() {                                                                             \
    return reinterpret_cast<type>(procedure_of(module, #name));                                    \
  }
#define SFX_SEAMED_LOOKUP(name, module, type)                                                      \
  inline auto name() {                                                                             \
    return os_call_fails(OsCall::lookup) ? nullptr                                                 \
                                         : reinterpret_cast<type>(procedure_of(module, #name));    \
  }

// kernel32's, newer than Windows 95 or than some of the systems the stub
// starts on.
SFX_SEAMED_LOOKUP(GetTempPath2A, "kernel32.dll", DWORD(WINAPI*)(DWORD, LPSTR))
SFX_SEAMED_LOOKUP(SetDefaultDllDirectories, "kernel32.dll", BOOL(WINAPI*)(DWORD))
SFX_SEAMED_LOOKUP(SetDllDirectoryA, "kernel32.dll", BOOL(WINAPI*)(LPCSTR))
SFX_SEAMED_LOOKUP(SetThreadStackGuarantee, "kernel32.dll", BOOL(WINAPI*)(PULONG))
SFX_LOOKED_UP_CALL(AttachConsole, "kernel32.dll", BOOL(WINAPI*)(DWORD))

// ntdll's calls of the walk by handle, which NT alone has.
SFX_LOOKED_UP_CALL(NtCreateFile, "ntdll.dll",
                   NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG))
SFX_LOOKED_UP_CALL(NtSetInformationFile, "ntdll.dll",
                   NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG))
SFX_LOOKED_UP_CALL(NtQueryDirectoryFile, "ntdll.dll",
                   NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                    ULONG, BOOLEAN, PUNICODE_STRING, BOOLEAN))

} // namespace sys
