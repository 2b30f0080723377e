// The files to pack: gathered from the paths given, checked, named.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tools/packlib/compress.h"

namespace sfxpack {

using Input = packlib::SourceFile;

struct InputRules {
  bool dereference = false;          // pack what links point to
  std::vector<std::string> excluded; // glob patterns
  bool windows_target = false;       // names by Windows' rules, else by POSIX systems'
};

// What checking the request found, one line each. Refusals stop the run
// once all of them are said; warnings are said and packing goes on.
struct Findings {
  std::vector<std::string> refusals;
  std::vector<std::string> warnings;
  std::set<size_t> used_patterns; // the --exclude patterns that left something out

  void refuse(const std::string& line) { refusals.push_back(line); }
  void warn(const std::string& line) { warnings.push_back(line); }
};

// The files under `paths`, sorted by stored name. Refuses (one line naming
// the path and the fix) a path that is missing, a symbolic link unless
// `dereference` (then a dangling link or a link loop), a name the target's
// stub would refuse or, for a Windows target, one that Windows cannot hold,
// two names that collide, and an empty result. Warns for each special file
// and empty directory left out, and for names that are not ASCII on a
// Windows target.
std::vector<Input> gather_inputs(const std::vector<std::string>& paths, const InputRules& rules,
                                 Findings& findings);

// Why `name` cannot be stored for a Windows target, or "".
std::string windows_name_problem(const std::string& name);

// Says the warnings on stderr; with `strict` they count as refusals. Then,
// if anything is refused, says each refusal and throws, ending the run.
void settle(const Findings& findings, bool strict);

} // namespace sfxpack
