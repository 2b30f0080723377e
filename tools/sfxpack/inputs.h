// The files to pack: gathered from the paths given, checked, named.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/packlib/compress.h"

namespace sfxpack {

using Input = packlib::SourceFile;

struct InputRules {
  bool dereference = false;          // pack what links point to
  std::vector<std::string> excluded; // glob patterns
  bool windows_target = false;       // check names against Windows rules
};

// The files under `paths`, sorted by stored name. Refuses (with one line
// naming the path and the fix) a symbolic link unless `dereference`, a name
// the stub would refuse or, for a Windows target, one that Windows cannot
// hold, two names that collide, and an empty result. Warns on stderr for
// each special file and empty directory left out, and for names that are
// not ASCII on a Windows target.
std::vector<Input> gather_inputs(const std::vector<std::string>& paths, const InputRules& rules);

// Why `name` cannot be stored for a Windows target, or "".
std::string windows_name_problem(const std::string& name);

} // namespace sfxpack
