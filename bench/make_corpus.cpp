// Writes a deterministic corpus shaped like an installer's payload: program
// binaries and libraries, text and sources, already-compressed data and a
// few highly compressible large files. The same seed gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Random {
  uint64_t state;
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  size_t below(size_t n) { return size_t(next() % n); }
};

void write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Machine code compresses about 2:1: short repeated instruction patterns
// mixed with addresses and constants.
std::vector<uint8_t> binary(Random& random, size_t size) {
  std::vector<uint8_t> patterns[64];
  for (auto& pattern : patterns)
    for (size_t i = 0, n = 2 + random.below(7); i < n; ++i)
      pattern.push_back(uint8_t(random.next()));
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const auto& pattern = patterns[random.below(random.below(4) == 0 ? 64 : 12)];
    out.insert(out.end(), pattern.begin(), pattern.end());
    if (random.below(3) == 0)
      for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(random.below(5) == 0 ? random.next() : 0));
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> text(Random& random, size_t size) {
  static const char* words[] = {
      "the",   "installer", "void",      "return", "if",      "for",     "int",  "const",  "string",
      "file",  "directory", "error",     "value",  "package", "record",  "size", "struct", "static",
      "while", "include",   "namespace", "class",  "public",  "private", "data"};
  std::vector<uint8_t> out;
  int column = 0;
  while (out.size() < size) {
    const char* word = words[random.below(random.below(3) == 0 ? 25 : 8)];
    for (const char* c = word; *c; ++c)
      out.push_back(uint8_t(*c));
    column += 1;
    out.push_back(column % 9 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> noise(Random& random, size_t size) {
  std::vector<uint8_t> out(size);
  for (auto& byte : out)
    byte = uint8_t(random.next() >> 24);
  return out;
}

std::vector<uint8_t> sparse(Random& random, size_t size) {
  std::vector<uint8_t> out(size, 0);
  for (size_t i = 0; i < size; i += 4096 + random.below(65536))
    out[i] = uint8_t(random.next());
  return out;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_corpus DIR MEGABYTES\n");
    return 2;
  }
  fs::path root = argv[1];
  size_t scale = size_t(std::stoul(argv[2])) << 20; // the corpus' whole size
  Random random{0x5EED5EED12345678ull};
  size_t made = 0;
  for (int i = 0; made < scale * 30 / 100; ++i) { // programs and libraries
    size_t size = 200000 + random.below(4000000);
    write(root / "bin" / ("module" + std::to_string(i) + ".dll"), binary(random, size));
    made += size;
  }
  for (int i = 0; made < scale * 60 / 100; ++i) { // text and sources
    size_t size = 2000 + random.below(120000);
    write(root / "src" / ("dir" + std::to_string(i % 40)) / ("file" + std::to_string(i) + ".cpp"),
          text(random, size));
    made += size;
  }
  for (int i = 0; made < scale * 80 / 100; ++i) { // already compressed
    size_t size = 500000 + random.below(5000000);
    write(root / "media" / ("clip" + std::to_string(i) + ".bin"), noise(random, size));
    made += size;
  }
  for (int i = 0; made < scale; ++i) { // large and highly compressible
    size_t size = 8000000 + random.below(8000000);
    write(root / "data" / ("table" + std::to_string(i) + ".dat"), sparse(random, size));
    made += size;
  }
  std::printf("%zu bytes\n", made);
  return 0;
}
