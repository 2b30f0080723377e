// Option parsing and help texts.
#include "tools/sfxpack/cli.h"

#include <algorithm>
#include <cstdio>

namespace sfxpack {

const char version_text[] = "sfxpack " SFX_VERSION "\n";

namespace {

constexpr char overview[] =
    "usage: sfxpack COMMAND [OPTION]... ARGUMENT...\n"
    "\n"
    "  create   pack files and directories behind a stub: an installer or a split set\n"
    "  list     show the stored files, their sizes and the setup command\n"
    "  verify   check installers: trailer, header, every stream, the stub's seal\n"
    "  extract  write the files as the stub would, with the same refusals\n"
    "  help     show the help of a command\n"
    "\n"
    "'sfxpack help COMMAND' or 'sfxpack COMMAND --help' tells more; -V, --version the\n"
    "version.\n";

constexpr char create_help[] =
    "usage: sfxpack create -o OUT [OPTION]... PATH...\n"
    "\n"
    "Packs files and directories (recursively; names relative to each PATH, joined\n"
    "with backslashes, sorted) behind a stub.\n"
    "\n"
    "  -o, --output OUT   the installer, or the head of a split set\n"
    "  --target KIND      win32 (default), win64 or posix: the stub installed with\n"
    "                     sfxpack\n"
    "  --stub STUB        a stub of your choice instead\n"
    "  --run COMMAND      the setup command, run in the target directory; %path%\n"
    "                     stands for the target directory (ending in a backslash)\n"
    "  --level 0-12       compression level, default 6; 10 to 12 compress hardest\n"
    "  --split SIZE       a head OUT and volumes named after it with the extension\n"
    "                     .F01, .F02, ... (hexadecimal), each of at most SIZE bytes\n"
    "                     (K, M, G)\n"
    "  --exclude PATTERN  leave out files and directories whose name or stored path\n"
    "                     matches the glob PATTERN (repeatable; / or \\ between\n"
    "                     parts; one that matches nothing is warned of)\n"
    "  --dereference      pack what symbolic links point to (links are refused\n"
    "                     otherwise; dangling links and link loops always)\n"
    "  --wait             the installer waits for the setup command and ends with\n"
    "                     its exit code (it returns at once otherwise)\n"
    "  --no-options       an installer that takes its first argument as the target\n"
    "                     directory and nothing else (it reads the options below\n"
    "                     otherwise)\n"
    "  --no-checksum      leave out the package checksum (a CRC-32 the installer\n"
    "                     checks before it writes anything)\n"
    "  --strict           refuse what would only be warned of\n"
    "  --bytes            sizes in the summary in bytes\n"
    "  --sums FILE        the SHA-256 of each file written, for sha256sum -c\n"
    "  -q, --quiet        no progress and no summary\n"
    "\n"
    "The installer's own options (unless --no-options):\n"
    "  DIR, --target DIR  extract into DIR (on Windows also /D=DIR, to the end of\n"
    "                     the command line); without it, a new directory in the\n"
    "                     temp directory, removed after a setup waited for\n"
    "  --list, --check    show the files, or check every one; nothing is written\n"
    "  --quiet            no message box; messages on stderr (Windows also /S)\n"
    "  --noexec           extract only   --wait  wait for the setup\n"
    "  --keep             keep the files and add no restart-list entry\n"
    "  --help             the installer's usage (Windows also /?)\n"
    "  -- ARGS            ARGS go to the setup command behind its own\n"
    "\n"
    "Every problem with the inputs is reported in one run; then nothing is written.\n"
    "The summary ends with the SHA-256 of each file written. Exit 0 when packed, 1\n"
    "for a problem with the files or the stub, 2 for a mistake in the command line.\n";

constexpr char list_help[] =
    "usage: sfxpack list [--json] [--bytes] IN\n"
    "\n"
    "Shows every stored file with its stored and inflated size, the setup command\n"
    "and whether the file carries a signature. A head of a split set is read with\n"
    "its volumes. --bytes gives the sizes in bytes; --json writes one JSON object\n"
    "(names in UTF-8, sizes in bytes, the file's SHA-256).\n";

constexpr char verify_help[] =
    "usage: sfxpack verify [-q|--quiet] IN...\n"
    "\n"
    "Checks each installer: the trailer, the header, the package checksum, the\n"
    "record walk, every stream, every name and the stub's seal. Exit 0 when all are\n"
    "sound.\n";

constexpr char extract_help[] =
    "usage: sfxpack extract IN DIR\n"
    "\n"
    "Writes the files as the stub would, refusing names that leave DIR on this system\n"
    "and links below DIR.\n";

} // namespace

std::string Arguments::value(const std::string& name, const std::string& fallback) const {
  auto found = options.find(name);
  return found == options.end() ? fallback : found->second.back();
}

Arguments parse_arguments(const std::string& command, const std::vector<std::string>& words,
                          const std::vector<std::string>& valued,
                          const std::vector<std::string>& flags) {
  Arguments parsed;
  auto known = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    if (word == "--") {
      parsed.operands.insert(parsed.operands.end(), words.begin() + long(i) + 1, words.end());
      break;
    }
    if (word.size() < 2 || word[0] != '-') {
      parsed.operands.push_back(word);
      continue;
    }
    if (word == "-o")
      word = "--output";
    else if (word == "-q")
      word = "--quiet";
    std::string name = word, value;
    bool inline_value = false;
    if (size_t equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = word.substr(0, equals);
      value = word.substr(equals + 1);
      inline_value = true;
    }
    if (known(valued, name)) {
      if (!inline_value) {
        if (i + 1 >= words.size())
          throw UsageError(command, name + " needs a value");
        value = words[++i];
      }
      parsed.options[name].push_back(value);
    } else if (known(flags, name) && !inline_value) {
      parsed.options[name].push_back("");
    } else {
      throw UsageError(command, "unknown option " + word);
    }
  }
  return parsed;
}

std::string size_text(uint64_t bytes, bool exact) {
  if (exact || bytes < 1000)
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double value = double(bytes) / 1000;
  int unit = 0;
  // 999.95 kB would round to "1000.0 kB": it is 1.0 MB.
  for (; value >= 999.95 && unit < 3; ++unit)
    value /= 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string counted(uint64_t count, const char* noun) {
  std::string digits = std::to_string(count);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return digits + " " + noun + (count == 1 ? "" : "s");
}

bool is_command(const std::string& name) {
  return name == "create" || name == "list" || name == "verify" || name == "extract";
}

const char* help_text(const std::string& command) {
  if (command == "create")
    return create_help;
  if (command == "list")
    return list_help;
  if (command == "verify")
    return verify_help;
  if (command == "extract")
    return extract_help;
  return overview;
}

} // namespace sfxpack
