// Gathering and checking the files to pack.
#include "tools/sfxpack/inputs.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "package/layout.h"
#include "package/name_check.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/glob.h"

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

bool excluded(const InputRules& rules, const fs::path& path, const std::string& stored) {
  std::string slashes = stored;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  for (const std::string& pattern : rules.excluded)
    if (packlib::glob_match(pattern, packlib::utf8_text(path.filename())) ||
        packlib::glob_match(pattern, slashes))
      return true;
  return false;
}

std::string stored_name(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative) {
    if (!name.empty())
      name += '\\';
    name += packlib::utf8_text(part);
  }
  return name;
}

void warn(const std::string& text) {
  std::fprintf(stderr, "sfxpack: warning: %s\n", text.c_str());
}

[[noreturn]] void refuse_link(const fs::path& path) {
  throw std::runtime_error(packlib::utf8_text(path) +
                           ": a symbolic link; pack what it points to with --dereference, "
                           "or leave it out with --exclude");
}

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = char(c + 32);
  return text;
}

void check_name(const Input& input, const InputRules& rules) {
  const std::string& name = input.name;
  if (name.size() > size_t(layout::longest_name))
    throw std::runtime_error(packlib::utf8_text(input.path) +
                             ": stored name longer than 253 bytes");
  if (!is_safe_name(name.data(), int32_t(name.size()), NameRules::windows))
    throw std::runtime_error(packlib::utf8_text(input.path) + ": stored name \"" + name +
                             "\" would leave the target directory or name a device");
  if (!rules.windows_target)
    return;
  // The stub checks a UTF-8 name once it is in the ANSI code page, where
  // "COM\xC2\xB2" (a superscript two) is the device COM2.
  std::string ansi = name;
  for (size_t at; (at = ansi.find("\xC2\xB9")) != std::string::npos ||
                  (at = ansi.find("\xC2\xB2")) != std::string::npos ||
                  (at = ansi.find("\xC2\xB3")) != std::string::npos;)
    ansi.erase(at, 1);
  if (!is_safe_name(ansi.data(), int32_t(ansi.size()), NameRules::windows))
    throw std::runtime_error(packlib::utf8_text(input.path) + ": stored name \"" + name +
                             "\" names a device on Windows");
  std::string problem = windows_name_problem(name);
  if (!problem.empty())
    throw std::runtime_error(packlib::utf8_text(input.path) + ": " + problem);
  if (std::any_of(name.begin(), name.end(), [](char c) { return (unsigned char)c >= 0x80; }))
    warn(packlib::utf8_text(input.path) +
         ": a name outside ASCII, stored in UTF-8: it extracts as itself where the "
         "system's code page holds it, and is refused elsewhere");
}

// The files of one command-line operand: the file itself, or those below
// the directory, with stored names relative to it.
void gather_argument(const std::string& argument, const InputRules& rules,
                     std::vector<Input>& inputs) {
  fs::path root = packlib::utf8_path(argument);
  std::error_code error;
  fs::file_status status = fs::symlink_status(root, error);
  if (error || !fs::exists(status))
    throw std::runtime_error(argument + ": no such file or directory");
  if (fs::is_symlink(status) && !rules.dereference)
    refuse_link(root);
  if (fs::is_regular_file(root, error)) {
    if (!excluded(rules, root, packlib::utf8_text(root.filename())))
      inputs.push_back({packlib::utf8_text(root.filename()), root});
    return;
  }
  if (!fs::is_directory(root, error)) {
    warn(argument + ": neither a file nor a directory; left out");
    return;
  }
  auto options = rules.dereference ? fs::directory_options::follow_directory_symlink
                                   : fs::directory_options::none;
  for (auto it = fs::recursive_directory_iterator(root, options, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    std::string name = stored_name(path.lexically_relative(root));
    if (excluded(rules, path, name)) {
      if (it->is_directory() && !it->is_symlink())
        it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink() && !rules.dereference)
      refuse_link(path);
    std::error_code ignored;
    if (it->is_directory(ignored)) {
      if (fs::is_empty(path, ignored))
        warn(packlib::utf8_text(path) +
             ": an empty directory; installers keep no empty directories");
    } else if (it->is_regular_file(ignored)) {
      inputs.push_back({name, path});
    } else {
      warn(packlib::utf8_text(path) + ": a special file (device, pipe or socket); left out");
    }
  }
  if (error)
    throw std::runtime_error(argument + ": " + error.message());
}

// Names that differ only in letter case name one file on Windows.
void check_case_clashes(const std::vector<Input>& inputs) {
  std::vector<std::pair<std::string, const Input*>> folded;
  for (const Input& input : inputs)
    folded.push_back({lower(input.name), &input});
  std::sort(folded.begin(), folded.end());
  for (size_t i = 1; i < folded.size(); ++i)
    if (folded[i].first == folded[i - 1].first)
      throw std::runtime_error(packlib::utf8_text(folded[i].second->path) + ": \"" +
                               folded[i].second->name + "\" and \"" + folded[i - 1].second->name +
                               "\" differ only in case: one file on Windows");
}

} // namespace

std::string windows_name_problem(const std::string& name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size()) {
      unsigned char c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 || std::string("<>:\"|?*").find(char(c)) != std::string::npos)
        return "stored name \"" + name + "\" holds a character Windows does not allow in names";
      if (c != '\\')
        continue;
    }
    if (i > start && (name[i - 1] == '.' || name[i - 1] == ' '))
      return "stored name \"" + name +
             "\" has a part ending in a dot or blank, which Windows drops";
    start = i + 1;
  }
  return "";
}

std::vector<Input> gather_inputs(const std::vector<std::string>& paths, const InputRules& rules) {
  std::vector<Input> inputs;
  for (const std::string& argument : paths)
    gather_argument(argument, rules, inputs);
  if (inputs.empty())
    throw std::runtime_error("no files to pack");
  std::stable_sort(inputs.begin(), inputs.end(),
                   [](const Input& a, const Input& b) { return a.name < b.name; });
  for (size_t i = 0; i < inputs.size(); ++i) {
    check_name(inputs[i], rules);
    if (i > 0 && inputs[i].name == inputs[i - 1].name)
      throw std::runtime_error(packlib::utf8_text(inputs[i].path) + ": stored name \"" +
                               inputs[i].name + "\" given twice");
  }
  if (rules.windows_target)
    check_case_clashes(inputs);
  return inputs;
}

} // namespace sfxpack
