// Gathering and checking the files to pack.
#include "tools/sfxpack/inputs.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "package/layout.h"
#include "package/name_check.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/glob.h"
#include "tools/packlib/printable.h"

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

std::string text(const fs::path& path) {
  return packlib::utf8_text(path);
}

// A path for a message, its controls escaped.
std::string shown(const fs::path& path) {
  return packlib::shown_path(path);
}

// A pattern matches the file name or the stored path with slashes. Its
// backslashes may be escapes or, as in the names sfxpack prints, the
// separators of a stored path: either reading matches.
bool excluded(const InputRules& rules, const fs::path& path, const std::string& stored,
              Findings& findings) {
  std::string slashes = stored;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  std::string name = text(path.filename());
  for (size_t i = 0; i < rules.excluded.size(); ++i) {
    std::string separators = rules.excluded[i];
    std::replace(separators.begin(), separators.end(), '\\', '/');
    for (const std::string& pattern : {rules.excluded[i], separators})
      if (packlib::glob_match(pattern, name) || packlib::glob_match(pattern, slashes)) {
        findings.used_patterns.insert(i);
        return true;
      }
  }
  return false;
}

std::string stored_name(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative)
    name += (name.empty() ? "" : "\\") + text(part);
  return name;
}

// Stored names separate their parts with backslashes: a backslash inside a
// part (possible where the system's separator is the slash) would make a
// directory of its own.
bool holds_backslash(const fs::path& relative) {
  if (fs::path::preferred_separator == '\\')
    return false;
  for (const fs::path& part : relative)
    if (text(part).find('\\') != std::string::npos)
      return true;
  return false;
}

void refuse_backslash(const fs::path& path, Findings& findings) {
  findings.refuse(shown(path) + ": a backslash in a name, which installers read as a directory "
                                "separator; rename it or leave it out with --exclude");
}

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = char(c + 32);
  return text;
}

// Whether the walk, following the directory link at `path` below `root`,
// would come back to where it already is: the target holds the link, or is
// one of the directories the walk came through (reached through other
// links, so only their identity tells).
bool leads_back(const fs::path& path, const fs::path& root) {
  std::error_code error;
  fs::path to = fs::canonical(path, error);
  if (error)
    return false;
  fs::path holder = fs::canonical(path.parent_path(), error).lexically_relative(to);
  if (!error && !holder.empty() && *holder.begin() != "..")
    return true;
  for (fs::path up = path.parent_path(); !up.empty(); up = up.parent_path()) {
    if (fs::equivalent(up, to, error))
      return true;
    if (up == root || up == up.parent_path())
      break;
  }
  return false;
}

// What stands against following the link at `path` (the operand itself when
// it is `root`), or "".
std::string link_problem(const fs::path& path, const fs::path& root) {
  std::error_code error;
  fs::file_status target = fs::status(path, error);
  const std::string fix = "; leave it out with --exclude";
  if (error == std::errc::too_many_symbolic_link_levels)
    return "a link loop (links that lead to each other)" + fix;
  if (!fs::exists(target)) {
    fs::path to = fs::read_symlink(path, error);
    return "a dangling link (" + shown(to) + " does not exist)" + fix;
  }
  if (path != root && fs::is_directory(target) && leads_back(path, root))
    return "a link loop (it leads back to " + shown(fs::canonical(path, error)) + ")" + fix;
  return "";
}

// Checks a link met while gathering: false when it is not to be followed.
bool follow_link(const fs::path& path, const fs::path& root, const InputRules& rules,
                 Findings& findings) {
  std::string problem =
      rules.dereference
          ? link_problem(path, root)
          : "a symbolic link; pack what it points to with --dereference, or leave it out "
            "with --exclude";
  if (!problem.empty())
    findings.refuse(shown(path) + ": " + problem);
  return problem.empty();
}

void check_name(const Input& input, const InputRules& rules, Findings& findings) {
  const std::string& name = input.name;
  std::string where = shown(input.path) + ": ";
  const std::string fix = "; rename it or leave it out with --exclude";
  if (name.size() > size_t(layout::longest_name))
    return findings.refuse(where + "stored name longer than 253 bytes" + fix);
  if (!rules.windows_target) {
    if (!is_safe_posix_name(name.data(), int32_t(name.size())))
      findings.refuse(where + "stored name \"" + packlib::printable(name) +
                      "\" would leave the target directory" + fix);
    return;
  }
  std::string problem = windows_name_problem(name);
  if (!problem.empty())
    return findings.refuse(where + problem + fix);
  // The stub checks a UTF-8 name once it is in the ANSI code page, where
  // "COM\xC2\xB2" (a superscript two) is the device COM2. What the rules
  // above leave to refuse is a device name.
  std::string ansi = name;
  for (size_t at; (at = ansi.find("\xC2\xB9")) != std::string::npos ||
                  (at = ansi.find("\xC2\xB2")) != std::string::npos ||
                  (at = ansi.find("\xC2\xB3")) != std::string::npos;)
    ansi.erase(at, 1);
  if (!is_safe_windows_name(ansi.data(), int32_t(ansi.size())))
    return findings.refuse(where + "stored name \"" + packlib::printable(name) +
                           "\" names a device on Windows" + fix);
  if (std::any_of(name.begin(), name.end(), [](char c) { return (unsigned char)c >= 0x80; }))
    findings.warn(where + "a name outside ASCII, stored in UTF-8: it extracts as itself where "
                          "the system's code page holds it, and is refused elsewhere");
}

// A file to pack, with what was seen of it now, so that the file packed is
// this one.
void add_input(const std::string& name, const fs::path& path, const InputRules& rules,
               std::vector<Input>& inputs, Findings& findings) {
  packlib::InputIdentity seen;
  if (!packlib::identify_input(path, rules.dereference, &seen))
    return findings.refuse(shown(path) + ": changed while packing");
  inputs.push_back({name, path, seen});
}

// The files of one command-line operand: the file itself, or those below
// the directory, with stored names relative to it.
void gather_argument(const std::string& argument, const InputRules& rules,
                     std::vector<Input>& inputs, Findings& findings) {
  fs::path root = packlib::utf8_path(argument);
  std::error_code error;
  fs::file_status status = fs::symlink_status(root, error);
  if (error || !fs::exists(status))
    return findings.refuse(argument + ": no such file or directory");
  if (fs::is_symlink(status) && !follow_link(root, root, rules, findings))
    return;
  if (fs::is_regular_file(root, error)) {
    std::string name = stored_name(root.filename());
    if (holds_backslash(root.filename()))
      refuse_backslash(root, findings);
    else if (!excluded(rules, root, name, findings))
      add_input(name, root, rules, inputs, findings);
    return;
  }
  if (!fs::is_directory(root, error))
    return findings.warn(argument + ": neither a file nor a directory; left out");
  auto options = rules.dereference ? fs::directory_options::follow_directory_symlink
                                   : fs::directory_options::none;
  for (auto it = fs::recursive_directory_iterator(root, options, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    fs::path relative = path.lexically_relative(root);
    std::string name = stored_name(relative);
    bool link = it->is_symlink();
    if (excluded(rules, path, name, findings) ||
        (link && !follow_link(path, root, rules, findings))) {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code ignored;
    if (holds_backslash(relative)) {
      refuse_backslash(path, findings);
      it.disable_recursion_pending();
    } else if (it->is_directory(ignored)) {
      if (fs::is_empty(path, ignored))
        findings.warn(shown(path) + ": an empty directory; installers keep no empty directories");
    } else if (it->is_regular_file(ignored)) {
      add_input(name, path, rules, inputs, findings);
    } else {
      findings.warn(shown(path) + ": a special file (device, pipe or socket); left out");
    }
  }
  if (error)
    findings.refuse(argument + ": " + error.message());
}

// Names that differ only in letter case name one file on Windows.
void check_case_clashes(const std::vector<Input>& inputs, Findings& findings) {
  std::vector<std::pair<std::string, const Input*>> folded;
  for (const Input& input : inputs)
    folded.push_back({lower(input.name), &input});
  std::sort(folded.begin(), folded.end());
  for (size_t i = 1; i < folded.size(); ++i)
    if (folded[i].first == folded[i - 1].first &&
        folded[i].second->name != folded[i - 1].second->name)
      findings.refuse(shown(folded[i].second->path) + ": \"" + folded[i].second->name +
                      "\" and \"" + folded[i - 1].second->name +
                      "\" differ only in case: one file on Windows; rename one of them");
}

} // namespace

std::string windows_name_problem(const std::string& name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size()) {
      unsigned char c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 || std::string("<>:\"|?*").find(char(c)) != std::string::npos)
        return "stored name \"" + packlib::printable(name) +
               "\" holds a character Windows does not allow in names";
      if (c != '\\')
        continue;
    }
    if (i > start && (name[i - 1] == '.' || name[i - 1] == ' '))
      return "stored name \"" + packlib::printable(name) +
             "\" has a part ending in a dot or blank, which Windows drops";
    start = i + 1;
  }
  return "";
}

std::vector<Input> gather_inputs(const std::vector<std::string>& paths, const InputRules& rules,
                                 Findings& findings) {
  std::vector<Input> inputs;
  for (const std::string& argument : paths)
    gather_argument(argument, rules, inputs, findings);
  if (inputs.empty() && findings.refusals.empty())
    findings.refuse("no files to pack");
  std::stable_sort(inputs.begin(), inputs.end(),
                   [](const Input& a, const Input& b) { return a.name < b.name; });
  for (size_t i = 0; i < inputs.size(); ++i) {
    check_name(inputs[i], rules, findings);
    if (i > 0 && inputs[i].name == inputs[i - 1].name)
      findings.refuse(shown(inputs[i].path) + ": stored name \"" +
                      packlib::printable(inputs[i].name) + "\" given twice (also by " +
                      shown(inputs[i - 1].path) + ")");
  }
  if (rules.windows_target)
    check_case_clashes(inputs, findings);
  for (size_t i = 0; i < rules.excluded.size(); ++i)
    if (!findings.used_patterns.count(i))
      findings.warn("--exclude " + rules.excluded[i] + ": matched nothing");
  return inputs;
}

void settle(const Findings& findings, bool strict) {
  std::vector<std::string> refusals = findings.refusals;
  for (const std::string& warning : findings.warnings)
    if (strict)
      refusals.push_back(warning + " (refused by --strict)");
    else
      std::fprintf(stderr, "sfxpack: warning: %s\n", packlib::printable(warning, true).c_str());
  if (refusals.empty())
    return;
  std::string all;
  for (const std::string& refusal : refusals)
    all += (all.empty() ? "" : "\nsfxpack: ") + refusal;
  if (refusals.size() > 1)
    all += "\nsfxpack: " + std::to_string(refusals.size()) + " problems; nothing was written";
  throw std::runtime_error(all);
}

} // namespace sfxpack
