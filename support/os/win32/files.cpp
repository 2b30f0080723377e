// Files by handle through the ANSI entry points of the Windows kernel.
#include "support/os/files.h"
#include "support/os/seam.h"

#include "support/os/win32/system_calls.h"

namespace {

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle handle_value(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

FileHandle create(const char* path, DWORD access, DWORD share, DWORD disposition) {
  if (os_call_fails(disposition == OPEN_EXISTING ? OsCall::open : OsCall::create))
    return no_file;
  return handle_value(
      sys::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

FileHandle open_file(const char* path, uint8_t mode) {
  // Access in the low two bits (read, write, both; 3 reads), sharing in the
  // high four (compatible, deny all, deny write, deny read, deny none; the
  // rest share nothing). GENERIC_READ and GENERIC_WRITE are bits 31 and 30.
  static constexpr uint8_t access_bits[4] = {2, 1, 3, 2};
  static constexpr uint8_t share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE};
  static_assert(GENERIC_READ == 2u << 30 && GENERIC_WRITE == 1u << 30);
  uint8_t sharing = mode >> 4;
  return create(path, DWORD(access_bits[mode & 3]) << 30, sharing < 5 ? share[sharing] : 0,
                OPEN_EXISTING);
}

namespace {

// An existing file is replaced, never written into: its name is deleted
// first and the new file created only where no file is, so that nothing
// planted at the name (a hard link, someone else's file) is written
// through. A name that cannot be deleted fails the creation with the
// deletion's error (a directory or a read-only file: access denied).
FileHandle create_new(const char* path, DWORD access, DWORD share) {
  if (!sys::DeleteFileA(path)) {
    DWORD error = sys::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      return no_file;
  }
  return create(path, access, share, CREATE_NEW);
}

} // namespace

FileHandle create_file(const char* path) {
  return create_new(path, GENERIC_READ | GENERIC_WRITE, 0);
}

FileHandle create_shared_file(const char* path) {
  return create_new(path, GENERIC_WRITE, FILE_SHARE_READ);
}

int32_t read_file(FileHandle file, void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || (count = os_seam(OsCall::read, count)) < 0 ||
      !sys::ReadFile(handle_of(file), buffer, DWORD(count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

int32_t write_file(FileHandle file, const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || (count = os_seam(OsCall::write, count)) < 0 ||
      !sys::WriteFile(handle_of(file), buffer, DWORD(count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

uint32_t seek_file(FileHandle file, int32_t offset, int origin) {
  return sys::SetFilePointer(handle_of(file), offset, nullptr, DWORD(origin));
}

// A failed close is taken as one that still closed the handle.
bool close_file(FileHandle file) {
  return sys::CloseHandle(handle_of(file)) != 0 && !os_call_fails(OsCall::close);
}

uint32_t file_type(FileHandle file) {
  return sys::GetFileType(handle_of(file));
}

// Windows marks no file as a program: the driver never asks it to.
void mark_as_program(FileHandle) {}

uint32_t last_error() {
  return sys::GetLastError();
}

// GetTempPath2A where the system has it: a process running as SYSTEM then
// gets the locked-down SystemTemp instead of the world-writable
// C:\Windows\Temp; for everyone else it answers as GetTempPathA does.
uint32_t get_temp_path(char* buffer, uint32_t size) {
  if (os_call_fails(OsCall::query))
    return 0;
  if (auto temp_path = sys::GetTempPath2A())
    return temp_path(size, buffer);
  return sys::GetTempPathA(size, buffer);
}
