// A stand-in setup program: writes its current directory and its arguments,
// one per line, to the file named by SFX_RECORD; an argument "exit=N" makes
// N its exit code.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  const char* record = std::getenv("SFX_RECORD");
  if (!record)
    return 2;
  char directory[4096];
  if (!getcwd(directory, sizeof directory))
    return 3;
  std::FILE* file = std::fopen(record, "ab");
  if (!file)
    return 4;
  std::fprintf(file, "cwd=%s\n", directory);
  for (int i = 1; i < argc; ++i)
    std::fprintf(file, "arg=%s\n", argv[i]);
  std::fprintf(file, "end\n");
  std::fclose(file);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "exit=", 5) == 0)
      return std::atoi(argv[i] + 5);
  return 0;
}
