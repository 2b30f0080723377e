// sfxpack: builds installers (a stub with a package behind it) and split
// sets, and lists, verifies and extracts them.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

#include "tools/sfxpack/cli.h"
#include "tools/sfxpack/commands.h"

namespace {

// The command line's words in UTF-8. On Windows they come from the wide
// command line: the narrow one is in the local code page and loses names.
std::vector<std::string> command_words(int argc, char** argv) {
#ifdef _WIN32
  (void)argc, (void)argv;
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
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

} // namespace

int main(int argc, char** argv) {
  using namespace sfxpack;
  std::vector<std::string> words = command_words(argc, argv);
  if (words.empty()) {
    std::fputs(help_text(""), stderr);
    return 2;
  }
  std::string command = words[0];
  words.erase(words.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(help_text(words.empty() ? "" : words[0]), stdout);
    return 0;
  }
  if (command == "--version") {
    std::fputs(version_text, stdout);
    return 0;
  }
  for (const std::string& word : words) {
    if (word == "--")
      break;
    if (word == "--help" || word == "-h") {
      std::fputs(help_text(command), stdout);
      return 0;
    }
  }
  try {
    if (command == "create")
      return create(words, argv[0]);
    if (command == "list")
      return list(words);
    if (command == "verify")
      return verify(words);
    if (command == "extract")
      return extract(words);
    throw UsageError("", "unknown command " + command);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "sfxpack: %s\nTry 'sfxpack help%s%s'.\n", error.what(),
                 error.command.empty() ? "" : " ", error.command.c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sfxpack: %s\n", error.what());
    return 1;
  }
}
