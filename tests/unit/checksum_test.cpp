// The stub's own checksums against zlib's: Adler-32 (which the stub's inflate
// uses for every stream) and CRC-32 (the seal).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

#include "support/inflate/adler32.h"
#include "support/inflate/crc32.h"
#include "tools/packlib/sha256.h"

namespace {

std::vector<uint8_t> random_bytes(size_t count, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes)
    byte = static_cast<uint8_t>(generator());
  return bytes;
}

// Lengths around the 16-byte steps and the reduction runs, at every
// misalignment of the start.
TEST(Adler32, MatchesZlibAcrossLengthsAndAlignments) {
  std::vector<uint8_t> bytes = random_bytes(3 * 5552 + 64, 1);
  for (size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 33u, 5551u, 5552u, 5553u, 5568u, 11104u, 11105u,
                        3u * 5552 + 40}) {
    for (size_t start = 0; start < 16; ++start) {
      uint32_t expected = uint32_t(adler32_z(1, bytes.data() + start, length));
      ASSERT_EQ(adler32_update(1, bytes.data() + start, length), expected)
          << "length " << length << " start " << start;
    }
  }
}

// All-0xFF input drives both sums as high as they go between reductions,
// from starting sums just below the modulus.
TEST(Adler32, LargestSumsAndContinuation) {
  std::vector<uint8_t> ones(1 << 20, 0xFF);
  uint32_t start = (65520u << 16) | 65520u;
  EXPECT_EQ(adler32_update(start, ones.data(), ones.size()),
            uint32_t(adler32_z(start, ones.data(), ones.size())));

  std::vector<uint8_t> bytes = random_bytes(100000, 2);
  uint32_t whole = adler32_update(1, bytes.data(), bytes.size());
  uint32_t split = adler32_update(1, bytes.data(), 12345);
  split = adler32_update(split, bytes.data() + 12345, bytes.size() - 12345);
  EXPECT_EQ(split, whole);
  EXPECT_EQ(adler32_update(12345, nullptr, 0), 1u);
}

TEST(Crc32, MatchesZlib) {
  std::vector<uint8_t> bytes = random_bytes(70000, 3);
  for (auto update : {crc32_update, crc32_fast_update}) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 65u, 4096u, 70000u})
      EXPECT_EQ(update(0, bytes.data(), length), uint32_t(crc32(0, bytes.data(), uInt(length))));
    // Continued from an odd place, off the eight-byte steps.
    uint32_t split = update(0, bytes.data(), 1001);
    EXPECT_EQ(update(split, bytes.data() + 1001, 68999), update(0, bytes.data(), 70000));
  }
}

// The tool's SHA-256 against published digests, also fed in uneven pieces
// across the block and padding boundaries (55, 56 and 64 bytes).
TEST(Sha256, KnownDigests) {
  const struct {
    std::string text;
    const char* digest;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) {
    for (size_t piece : {size_t(1000000), size_t(7)}) {
      packlib::Sha256 hash;
      for (size_t at = 0; at < row.text.size(); at += piece)
        hash.add(reinterpret_cast<const uint8_t*>(row.text.data()) + at,
                 std::min(piece, row.text.size() - at));
      EXPECT_EQ(hash.hex(), row.digest) << row.text.size() << " bytes in pieces of " << piece;
    }
  }
}

} // namespace
