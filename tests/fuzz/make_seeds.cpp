// Writes the fuzzer's seed corpus: valid and near-valid packages and heads.
#include <cstdio>
#include <filesystem>
#include <string>

#include "package/format.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"

namespace fs = std::filesystem;
using packlib::Bytes;
using packlib::PackageBuilder;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  fs::path directory = argv[1];
  fs::create_directories(directory);
  int count = 0;
  auto seed = [&](const Bytes& bytes) {
    packlib::write_whole_file(directory / ("seed" + std::to_string(count++)), bytes);
  };
  Bytes stub(160, 0);
  std::string text = "abc";
  Bytes content(text.begin(), text.end());
  Bytes stream = packlib::deflate_stream(content);
  Bytes long_stream = packlib::deflate_stream(Bytes(70000, 'x'));

  seed(PackageBuilder(stub).header().trailer().bytes());
  seed(PackageBuilder(stub).header().record("a.txt", stream).trailer().bytes());
  seed(PackageBuilder(stub)
           .header()
           .record("dir\\sub\\b.txt", long_stream)
           .run("go.exe %path%")
           .trailer()
           .bytes());
  seed(PackageBuilder(stub)
           .header()
           .record("a.txt", stream)
           .record("a.txt", Bytes{})
           .trailer()
           .bytes());
  seed(PackageBuilder(stub).header().record("..\\x", stream).trailer().bytes());
  seed(PackageBuilder(stub).header().record("lnk\\x", stream).trailer().bytes());
  seed(PackageBuilder(stub).header().u32(layout::record_marker).u8(255).trailer().bytes());
  seed(PackageBuilder(stub).header().run(std::string(200, 'c')).trailer().bytes());
  seed(PackageBuilder(stub).header().u32(layout::run_marker).u8(255).trailer().bytes());
  // Streams the stub refuses: bytes behind the end, two streams in one.
  Bytes trailing = stream;
  trailing.push_back(0);
  Bytes twice = stream;
  twice.insert(twice.end(), stream.begin(), stream.end());
  for (const Bytes& damaged : {trailing, twice})
    seed(PackageBuilder(stub).header().record("a.txt", damaged).trailer().bytes());
  // Names that name no file, a short gap, options and a checksum.
  for (const char* name : {"", ".", "a\\", "a\\."})
    seed(PackageBuilder(stub).header().record(name, stream).trailer().bytes());
  seed(PackageBuilder(stub).header().record("a.txt", stream).u8(0).trailer().bytes());
  seed(PackageBuilder(stub)
           .header()
           .record("a.txt", stream)
           .trailer()
           .options(layout::option_utf8 | layout::option_wait)
           .seal_checksum()
           .bytes());
  Bytes head = PackageBuilder(stub).header().record("a.txt", stream).trailer().bytes();
  store_split_set_header(&head[layout::split_set_offset], 1);
  seed(head);
  head[132] = 3;
  seed(head);
  head[132] = 201;
  seed(head);
  std::printf("%d seeds\n", count);
  return 0;
}
