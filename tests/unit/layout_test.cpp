// The package writer and the layout constants against the byte-exact sample
// package of the layout.
#include <gtest/gtest.h>

#include <string>

#include "package/layout.h"
#include "tools/packlib/package.h"

namespace {

using packlib::Bytes;

Bytes bytes_of(std::initializer_list<int> values) {
  Bytes bytes;
  for (int value : values)
    bytes.push_back(uint8_t(value));
  return bytes;
}

TEST(Layout, ByteExactSamplePackage) {
  std::string abc = "abc";
  Bytes stream = packlib::deflate_stream(Bytes(abc.begin(), abc.end()));
  EXPECT_EQ(stream, bytes_of({0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27}));
  EXPECT_EQ(packlib::deflate_stream(Bytes{}),
            bytes_of({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));

  Bytes stub(4096, 0);
  packlib::PackageBuilder builder(stub);
  builder.header().record("a.txt", stream).run("go.exe").trailer();
  Bytes& file = builder.bytes();
  Bytes package(file.begin() + 4096, file.end());
  Bytes expected = {'V', 'K', 'Z', 'i', 'p', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (Bytes part :
       {bytes_of({0xE0, 0xE0, 0xE0, 0xE0, 0x06, 0x61, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x0B, 0x00,
                  0x00, 0x00}),
        stream, bytes_of({0x88, 0x88, 0x88, 0x88, 0x06, 0x67, 0x6F, 0x2E, 0x65, 0x78, 0x65, 0x00}),
        bytes_of({0x77, 0x77, 0x77, 0x77, 0x00, 0x10, 0x00, 0x00})})
    expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(package, expected);
}

} // namespace
