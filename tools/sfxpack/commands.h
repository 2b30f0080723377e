// The commands of sfxpack, each in a file of its own.
#pragma once

#include <string>
#include <vector>

namespace sfxpack {

// `program` is argv[0], to find the stubs installed beside the tool.
int create(const std::vector<std::string>& words, const char* program);
int list(const std::vector<std::string>& words);
int verify(const std::vector<std::string>& words);
int extract(const std::vector<std::string>& words);

} // namespace sfxpack
