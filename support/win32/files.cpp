// Files by handle through the ANSI entry points of the Windows kernel.
#include "support/files.h"

#include <windows.h>

namespace {

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle handle_value(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

FileHandle create(const char* path, DWORD access, DWORD share, DWORD disposition) {
  return handle_value(
      CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

FileHandle open_file(const char* path, uint8_t mode) {
  static constexpr DWORD access[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE,
                                      GENERIC_READ};
  static constexpr DWORD share[16] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE};
  return create(path, access[mode & 3], share[mode >> 4], OPEN_EXISTING);
}

FileHandle create_file(const char* path) {
  return create(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
}

FileHandle create_shared_file(const char* path) {
  return create(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
}

int32_t read_file(FileHandle file, void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !ReadFile(handle_of(file), buffer, DWORD(count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

int32_t write_file(FileHandle file, const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !WriteFile(handle_of(file), buffer, DWORD(count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

uint32_t seek_file(FileHandle file, int32_t offset, int origin) {
  return SetFilePointer(handle_of(file), offset, nullptr, DWORD(origin));
}

bool close_file(FileHandle file) {
  return CloseHandle(handle_of(file)) != 0;
}

uint32_t file_type(FileHandle file) {
  return GetFileType(handle_of(file));
}

void make_executable(FileHandle) {}

uint32_t last_error() {
  return GetLastError();
}

uint32_t get_temp_path(char* buffer, uint32_t size) {
  return GetTempPathA(size, buffer);
}
