// sfxpack: builds installers (a stub with a package behind it) and split
// sets, and lists, verifies and extracts them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/packlib/file_io.h"
#include "tools/packlib/host.h"
#include "tools/packlib/printable.h"
#include "tools/sfxpack/cli.h"
#include "tools/sfxpack/commands.h"

int main(int argc, char** argv) {
  using namespace sfxpack;
  std::vector<std::string> words = packlib::command_words(argc, argv);
  if (words.empty()) {
    std::fputs(help_text(""), stderr);
    return 2;
  }
  std::string command = words[0];
  words.erase(words.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::string topic = words.empty() ? "" : words[0];
    if (!topic.empty() && !is_command(topic)) {
      std::fprintf(stderr, "sfxpack: no help for %s: not a command\nTry 'sfxpack help'.\n",
                   topic.c_str());
      return 2;
    }
    std::fputs(help_text(topic), stdout);
    return 0;
  }
  if (command == "--version" || command == "-V") {
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
    std::fprintf(stderr, "sfxpack: %s\nTry 'sfxpack help%s%s'.\n",
                 packlib::printable(error.what(), true).c_str(), error.command.empty() ? "" : " ",
                 error.command.c_str());
    return 2;
  } catch (const std::filesystem::filesystem_error& error) {
    // The path first, as every other message has it, and no library prefix.
    std::string what = error.what();
    const std::string prefix = "filesystem error: ";
    if (what.rfind(prefix, 0) == 0)
      what.erase(0, prefix.size());
    size_t bracket = what.find(" [");
    if (bracket != std::string::npos)
      what.erase(bracket);
    std::fprintf(stderr, "sfxpack: %s: %s\n", packlib::shown_path(error.path1()).c_str(),
                 packlib::printable(what).c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sfxpack: %s\n", packlib::printable(error.what(), true).c_str());
    return 1;
  }
}
