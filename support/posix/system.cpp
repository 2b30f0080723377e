// Directories, the state directory that stands for the Windows directory,
// the current directory and launching programs on POSIX systems.
#include "support/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "support/command_line.h"
#include "support/launch_command.h"
#include "support/posix/native_path.h"
#include "support/termination.h"

namespace {

bool native_status(const String& path, struct stat* status) {
  NativePath native = native_path(path.c_str());
  return native.fits && ::stat(native.text, status) == 0;
}

bool native_file_exists(const String& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool is_program(const char* path) { return ::access(path, X_OK) == 0; }

bool on_search_path(const char* name) {
  const char* search = std::getenv("PATH");
  if (!search)
    return false;
  char candidate[PATH_MAX];
  for (const char* start = search; *start;) {
    const char* end = std::strchr(start, ':');
    size_t length = end ? size_t(end - start) : std::strlen(start);
    if (length + std::strlen(name) + 2 < sizeof candidate) {
      std::memcpy(candidate, start, length);
      candidate[length] = '/';
      std::strcpy(candidate + length + 1, name);
      if (is_program(candidate))
        return true;
    }
    if (!end)
      break;
    start = end + 1;
  }
  return false;
}

// Starts argv as a grandchild, so that it is never left as a zombie and the
// stub does not wait for it.
void spawn_detached(char* const* arguments, bool search_path) {
  pid_t child = ::fork();
  if (child < 0)
    return;
  if (child == 0) {
    if (::fork() == 0) {
      ::setsid();
      if (search_path)
        ::execvp(arguments[0], arguments);
      else
        ::execv(arguments[0], arguments);
    }
    ::_exit(0);
  }
  int status;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

} // namespace

bool file_exists(const String& path) {
  struct stat status;
  return native_status(path, &status) && !S_ISDIR(status.st_mode);
}

bool directory_exists(const String& path) {
  struct stat status;
  return native_status(path, &status) && S_ISDIR(status.st_mode);
}

bool create_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  return native.fits && ::mkdir(native.text, 0777) == 0;
}

void delete_file(const char* path) {
  NativePath native = native_path(path);
  if (native.fits)
    ::unlink(native.text);
}

// Like the Windows call, refuses to replace an existing file.
void move_file(const char* old_path, const char* new_path) {
  NativePath from = native_path(old_path);
  NativePath to = native_path(new_path);
  struct stat status;
  if (from.fits && to.fits && ::lstat(to.text, &status) != 0)
    ::rename(from.text, to.text);
}

// $XDG_STATE_HOME, else $HOME/.local/state, created when missing.
uint32_t get_windows_directory(char* buffer, uint32_t size) {
  char directory[PATH_MAX];
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  if (state && *state) {
    if (std::strlen(state) >= sizeof directory)
      return 0;
    std::strcpy(directory, state);
  } else if (home && *home && std::strlen(home) + 14 < sizeof directory) {
    std::strcpy(directory, home);
    std::strcat(directory, "/.local");
    ::mkdir(directory, 0700);
    std::strcat(directory, "/state");
  } else {
    return 0;
  }
  size_t length = std::strlen(directory);
  while (length > 1 && directory[length - 1] == '/')
    directory[--length] = '\0';
  ::mkdir(directory, 0700);
  uint32_t written = windows_path(directory, buffer, size);
  return written < size ? written : 0;
}

void change_directory(const String& path) {
  NativePath native = native_path(path.c_str());
  if (!native.fits)
    set_io_result(ENAMETOOLONG);
  else if (::chdir(native.text) != 0)
    set_io_result(static_cast<uint32_t>(errno));
}

// The command is split like a Windows one after its backslashes have become
// slashes; the parameter string is split into arguments by the command-line
// rules. A file that is no program is handed to xdg-open.
void launch_program(const char*, const char* file, const char* parameters) {
  NativePath file_text = native_path(file);
  NativePath parameter_text = native_path(parameters ? parameters : "");
  if (!file_text.fits || !parameter_text.fits)
    return;
  LaunchCommand command{String(file_text.text), String(parameter_text.text)};
  if (!parameters)
    command = split_launch_command(String(file_text.text), native_file_exists);
  if (command.program.empty())
    return;

  String program = command.program;
  bool search_path = false;
  if (program.find("/") < 0) {
    if (native_file_exists(program))
      program = String("./") + program;
    else
      search_path = true;
  }
  String words[64];
  int count = 0;
  if (!search_path && !is_program(program.c_str()) && on_search_path("xdg-open")) {
    words[count++] = "xdg-open";
    search_path = true;
  }
  words[count++] = program;
  const char* cursor = command.parameters.c_str();
  while (count < 63) {
    String word = next_argument(&cursor);
    if (word.empty())
      break;
    words[count++] = word;
  }
  char* arguments[64];
  for (int i = 0; i < count; ++i)
    arguments[i] = const_cast<char*>(words[i].c_str());
  arguments[count] = nullptr;
  spawn_detached(arguments, search_path);
}

void pause_ms(uint32_t milliseconds) {
  struct timespec delay = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}
