// Launching programs and pausing on POSIX systems. Kept apart from the
// other system operations so that a fuzzing build can link a stand-in that
// starts nothing.
#include <climits>
#include <cstring>

#include "support/os/paths.h"
#include "support/os/posix/native_path.h"
#include "support/os/posix/platform.h"
#include "support/os/posix/system_calls.h"
#include "support/os/seam.h"
#include "support/os/system.h"
#include "support/runtime/heap.h"
#include "support/text/command_line.h"
#include "support/text/launch_command.h"

namespace {

bool is_program(const char* path) {
  return sys::access(path, X_OK) == 0;
}

bool on_search_path(const char* name) {
  const char* search = sys::getenv("PATH");
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

// How argv[0] is found: by its path, on the search path, or as the file
// the descriptor holds (the program the stub extracted, whatever has become
// of its name since).
struct Program {
  bool search_path;
  int descriptor; // -1: by name
};

// Executes argv in the child.
void execute(char* const* arguments, Program program) {
  if (program.descriptor >= 0) {
    execute_open_file(program.descriptor, arguments);
  } else if (program.search_path) {
    sys::execvp(arguments[0], arguments);
  } else {
    sys::execv(arguments[0], arguments);
  }
}

// Starts argv as a grandchild, so that it is never left as a zombie and the
// stub does not wait for it.
void spawn_detached(char* const* arguments, Program program) {
  pid_t child = sys::fork();
  if (child < 0)
    return;
  if (child == 0) {
    if (sys::fork() == 0) {
      sys::setsid();
      execute(arguments, program);
    }
    sys::_exit(0);
  }
  int status;
  while (sys::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// Starts argv as a child and waits for it: false when it could not be
// started (an exec that fails reports its error through a pipe that a
// successful one closes), else its exit code, or 128 and the signal that
// ended it.
bool spawn_and_wait(char* const* arguments, Program program, int32_t* exit_code) {
  int report[2];
  // Close-on-exec set after the pipe is made: the stub runs one thread, so
  // no other exec can come between.
  if (sys::pipe(report) != 0)
    return false;
  sys::fcntl(report[0], F_SETFD, FD_CLOEXEC);
  sys::fcntl(report[1], F_SETFD, FD_CLOEXEC);
  pid_t child = sys::fork();
  if (child == 0) {
    sys::close(report[0]);
    execute(arguments, program);
    int error = errno;
    ssize_t ignored = sys::write(report[1], &error, sizeof error);
    (void)ignored;
    sys::_exit(127);
  }
  sys::close(report[1]);
  int error = 0;
  ssize_t got = child < 0 ? 0 : sys::read(report[0], &error, sizeof error);
  while (got < 0 && errno == EINTR)
    got = sys::read(report[0], &error, sizeof error);
  sys::close(report[0]);
  if (child < 0)
    return false;
  int status = 0;
  while (sys::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (got == sizeof error)
    return false;
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

} // namespace

// The parameter string, its backslashes made slashes, is split into
// arguments by the command-line rules. A file that is no program is handed
// to xdg-open; a program the caller holds is executed through its
// descriptor.
bool launch_program(const char*, const char* file, const char* parameters,
                    const String* more_arguments, int32_t more, FileHandle held,
                    int32_t* exit_code) {
  if (os_call_fails(OsCall::launch))
    return false;
  NativePath file_text = native_path(file);
  NativePath parameter_text = native_path(parameters ? parameters : "");
  if (!file_text.fits || !parameter_text.fits)
    return false;
  LaunchCommand command{String(file_text.text), String(parameter_text.text)};
  if (command.program.empty())
    return false;

  String program = command.program;
  Program how{false, -1};
  struct stat status;
  if (held != no_file && sys::fstat(int(held), &status) == 0 && (status.st_mode & 0111))
    how.descriptor = int(held);
  else if (program.find("/") < 0) {
    if (file_exists(program))
      program = String("./") + program;
    else
      how.search_path = true;
  }
  // The stored parameters stay within 64 words; the arguments given behind
  // them are not bound.
  int32_t room = 64 + more;
  String* words = new_strings(room);
  char** arguments = static_cast<char**>(heap_allocate(int32_t(sizeof(char*)) * (room + 1)));
  int count = 0;
  if (how.descriptor < 0 && !how.search_path && !is_program(program.c_str()) &&
      on_search_path("xdg-open")) {
    words[count++] = "xdg-open";
    how.search_path = true;
  }
  words[count++] = program;
  const char* cursor = command.parameters.c_str();
  while (count < 63) {
    String word = next_argument(&cursor);
    if (word.empty())
      break;
    words[count++] = word;
  }
  for (int32_t i = 0; i < more; ++i)
    words[count++] = more_arguments[i];
  for (int i = 0; i < count; ++i)
    arguments[i] = const_cast<char*>(words[i].c_str());
  arguments[count] = nullptr;
  if (exit_code)
    return spawn_and_wait(arguments, how, exit_code);
  spawn_detached(arguments, how);
  return true;
}

void pause_ms(uint32_t milliseconds) {
  milliseconds = static_cast<uint32_t>(os_seam(OsCall::pause, int32_t(milliseconds)));
  struct timespec delay = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
  while (sys::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}
