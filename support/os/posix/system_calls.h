// Every call the POSIX layer makes of the system, one row each
// (support/os/system_call.h says what a seamed and a direct row are). The
// string functions of the C library are no system calls and are used as
// they are.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/os/system_call.h"

namespace sys {

// Files and directories.
SFX_DIRECT_CALL(open, ::open)
SFX_DIRECT_CALL(openat, ::openat)
SFX_DIRECT_CALL(close, ::close)
SFX_DIRECT_CALL(read, ::read)
SFX_DIRECT_CALL(write, ::write)
SFX_SEAMED_CALL(lseek, OsCall::seek, -1, ::lseek)
SFX_DIRECT_CALL(fstat, ::fstat)
SFX_DIRECT_CALL(fstatat, ::fstatat)
SFX_DIRECT_CALL(lstat, ::lstat)
SFX_SEAMED_CALL(stat, OsCall::query, -1, ::stat)
SFX_DIRECT_CALL(fchmod, ::fchmod)
SFX_DIRECT_CALL(umask, ::umask)
SFX_DIRECT_CALL(fcntl, ::fcntl)
SFX_DIRECT_CALL(unlink, ::unlink)
SFX_DIRECT_CALL(unlinkat, ::unlinkat)
SFX_SEAMED_CALL(rename, OsCall::move, -1, ::rename)
SFX_SEAMED_CALL(renameat, OsCall::move, -1, ::renameat)
SFX_SEAMED_CALL(mkdir, OsCall::make_directory, -1, ::mkdir)
SFX_SEAMED_CALL(mkdirat, OsCall::make_directory, -1, ::mkdirat)
SFX_DIRECT_CALL(rmdir, ::rmdir)
SFX_DIRECT_CALL(fdopendir, ::fdopendir)
SFX_DIRECT_CALL(readdir, ::readdir)
SFX_DIRECT_CALL(closedir, ::closedir)
SFX_DIRECT_CALL(access, ::access)
SFX_SEAMED_CALL(getcwd, OsCall::query, nullptr, ::getcwd)
SFX_SEAMED_CALL(chdir, OsCall::change_directory, -1, ::chdir)
SFX_DIRECT_CALL(realpath, ::realpath)

// The environment, memory and time.
SFX_DIRECT_CALL(getenv, std::getenv)
SFX_SEAMED_CALL(malloc, OsCall::commit, nullptr, std::malloc)
SFX_SEAMED_CALL(realloc, OsCall::commit, nullptr, std::realloc)
SFX_DIRECT_CALL(free, std::free)
SFX_DIRECT_CALL(nanosleep, ::nanosleep)
SFX_DIRECT_CALL(clock_gettime, ::clock_gettime)
SFX_DIRECT_CALL(getpid, ::getpid)
SFX_DIRECT_CALL(dladdr, ::dladdr)

// Processes and signals.
SFX_DIRECT_CALL(pipe, ::pipe)
SFX_DIRECT_CALL(fork, ::fork)
SFX_DIRECT_CALL(setsid, ::setsid)
SFX_DIRECT_CALL(execv, ::execv)
SFX_DIRECT_CALL(execvp, ::execvp)
SFX_DIRECT_CALL(waitpid, ::waitpid)
SFX_DIRECT_CALL(sigaltstack, ::sigaltstack)
SFX_DIRECT_CALL(sigaction, ::sigaction)
SFX_DIRECT_CALL(sigemptyset, ::sigemptyset)
SFX_DIRECT_CALL(signal, ::signal)
SFX_DIRECT_CALL(raise, ::raise)

// Ends the process at once, without the C library's exit handlers.
[[noreturn]] inline void _exit(int status) {
  ::_exit(status);
}

} // namespace sys
