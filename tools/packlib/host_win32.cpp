// The tools' system layer on Windows: wide names throughout, so that any
// name works whatever the local code page.
#include "tools/packlib/host.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <shellapi.h>

#include "tools/packlib/file_io.h"

namespace packlib {

std::vector<std::string> command_words(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  for (int i = 1; wide && i < count; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string word(size_t(size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word.data(), size, nullptr, nullptr);
    words.push_back(word);
  }
  LocalFree(wide);
  return words;
}

std::filesystem::path own_executable(const char* program) {
  std::error_code error;
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  if (length > 0 && length < 32768)
    return std::filesystem::canonical(std::filesystem::path(std::wstring(path, length)), error);
  return std::filesystem::canonical(program, error);
}

bool stderr_is_terminal() {
  return _isatty(_fileno(stderr)) != 0;
}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
  std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

std::FILE* create_exclusive(const std::filesystem::path& path) {
  int descriptor = _wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
  std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "w+b");
  if (descriptor >= 0 && !file)
    _close(descriptor);
  return file;
}

bool identify_input(const std::filesystem::path& path, bool follow, InputIdentity* identity) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    return false;
  uintmax_t size = std::filesystem::file_size(path, error);
  if (error)
    return false;
  *identity = {0, 0, uint64_t(size), follow};
  return true;
}

std::FILE* open_input(const std::filesystem::path& path, const InputIdentity& seen, bool* changed) {
  *changed = false;
  std::FILE* file = open_file(path, "rb");
  if (file && (_fseeki64(file, 0, SEEK_END) != 0 || uint64_t(_ftelli64(file)) != seen.size ||
               _fseeki64(file, 0, SEEK_SET) != 0)) {
    std::fclose(file);
    *changed = true;
    return nullptr;
  }
  return file;
}

void set_written_mode(std::FILE*, bool) {}

bool make_private_directory(const std::filesystem::path& path) {
  return _wmkdir(path.c_str()) == 0;
}

} // namespace packlib
