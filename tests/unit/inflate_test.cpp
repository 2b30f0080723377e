// inflate_buffer: the decompression buffer's growth and trimming, and
// every failure leaving nothing allocated.
#include <gtest/gtest.h>

#include <vector>

#include "support/inflate/inflate_buffer.h"
#include "support/runtime/heap.h"
#include "tools/packlib/package.h"

namespace {

struct Inflated {
  int32_t size;
  std::vector<uint8_t> bytes;
};

Inflated inflate(const std::vector<uint8_t>& stream) {
  void* output = nullptr;
  int32_t size = 0;
  inflate_buffer(stream.data(), int32_t(stream.size()), 0, &output, &size);
  Inflated result{size, {}};
  if (size > 0)
    result.bytes.assign(static_cast<uint8_t*>(output), static_cast<uint8_t*>(output) + size);
  if (size < 0) {
    EXPECT_EQ(output, nullptr);
  }
  heap_release(output);
  return result;
}

std::vector<uint8_t> pattern(size_t size, unsigned seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = uint8_t((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

TEST(InflateBuffer, SizesAroundTheCapacity) {
  int32_t before = heap_block_count();
  // Stored (level 0) streams make the inflated size meet the growth step
  // exactly: a stream of n bytes has a step of n rounded up to 256.
  for (size_t size : {size_t(0), size_t(1), size_t(200), size_t(245), size_t(246), size_t(247),
                      size_t(501), size_t(502), size_t(5000)}) {
    std::vector<uint8_t> content = pattern(size, unsigned(size));
    for (int level : {0, 6, 9}) {
      Inflated result = inflate(packlib::deflate_stream(content, level));
      ASSERT_EQ(result.size, int32_t(size)) << size << " at level " << level;
      EXPECT_EQ(result.bytes, content);
    }
  }
  EXPECT_EQ(heap_block_count(), before);
}

TEST(InflateBuffer, ManyGrowthStepsKeepTheBytes) {
  // About 1000 times smaller compressed: hundreds of steps, the block moving
  // from the system allocator into reserved space on the way.
  std::vector<uint8_t> content(8 << 20, 0);
  for (size_t i = 0; i < content.size(); i += 4093)
    content[i] = uint8_t(i >> 12);
  Inflated result = inflate(packlib::deflate_stream(content));
  ASSERT_EQ(result.size, int32_t(content.size()));
  EXPECT_TRUE(result.bytes == content);
}

TEST(InflateBuffer, FailuresLeaveNothingAllocated) {
  int32_t before = heap_block_count();
  std::vector<uint8_t> good = packlib::deflate_stream(pattern(3000, 1));
  std::vector<uint8_t> bad_check = good;
  bad_check.back() ^= 1;
  std::vector<uint8_t> cut(good.begin(), good.end() - 3);
  std::vector<uint8_t> bad_header = good;
  bad_header[1] ^= 1;
  std::vector<uint8_t> bad_block = {0x78, 0x9C, 0x07, 0x00}; // block type 3
  // A header asking for a preset dictionary (FDICT set, check bits valid).
  std::vector<uint8_t> dictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  std::vector<uint8_t> window_too_large = {0x88, 0x1C, 0x03, 0x00};
  for (const auto& stream : {bad_check, cut, bad_header, bad_block, dictionary, window_too_large})
    EXPECT_EQ(inflate(stream).size, -1);
  EXPECT_EQ(inflate({}).size, -1);
  void* output = reinterpret_cast<void*>(1);
  int32_t size = 0;
  inflate_buffer(nullptr, 0, 0, &output, &size);
  EXPECT_EQ(size, -1);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(InflateBuffer, EmptyContentGivesNoBlock) {
  void* output = reinterpret_cast<void*>(1);
  int32_t size = -5;
  std::vector<uint8_t> empty = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  inflate_buffer(empty.data(), int32_t(empty.size()), 0, &output, &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(output, nullptr);
}

TEST(InflateBuffer, StreamsFromOtherProducers) {
  std::vector<uint8_t> content = pattern(70000, 3);
  for (int level = 0; level <= 9; ++level)
    for (int window = 9; window <= 15; ++window) {
      Inflated result = inflate(packlib::deflate_stream(content, level, window));
      ASSERT_EQ(result.size, int32_t(content.size())) << level << "/" << window;
      EXPECT_TRUE(result.bytes == content);
    }
}

} // namespace
