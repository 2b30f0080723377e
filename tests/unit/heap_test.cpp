// The stub's heap, its strings and the decompression buffer, run inside the
// harness so that exhaustion and foreign blocks end as run-time errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "support/inflate/inflate_buffer.h"
#include "support/runtime/heap.h"
#include "support/runtime/memory.h"
#include "support/runtime/string.h"
#include "tools/packlib/package.h"

namespace {

using harness::Outcome;

Outcome run_body(void (*body)()) {
  return harness::run(harness::Setup{}, body);
}

TEST(Heap, EdgeCases) {
  EXPECT_EQ(heap_allocate(0), nullptr);
  void* block = nullptr;
  heap_resize(&block, 0);
  EXPECT_EQ(block, nullptr);
  heap_release(nullptr);

  int32_t before = heap_block_count();
  heap_resize(&block, 100);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0x5A, 100);
  heap_resize(&block, 3 << 20); // into reserved address space
  heap_resize(&block, 5 << 20);
  EXPECT_EQ(static_cast<uint8_t*>(block)[99], 0x5A);
  heap_resize(&block, 50); // and back to the system allocator
  EXPECT_EQ(static_cast<uint8_t*>(block)[49], 0x5A);
  heap_resize(&block, 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(heap_block_count(), before);
}

// Released large blocks keep their pages for later ones, but all of them
// together never hold much more than the most the blocks in use needed at
// once; what is given back never cuts into a block in use.
TEST(Heap, KeptPagesStayWithinThePeakAndSpareTheBlocksInUse) {
  constexpr int32_t mib = 1 << 20;
  const size_t slack = size_t(2) << 20; // the budget's slack and some rounding
  heap_release_all();
  void* a = heap_allocate(8 * mib);
  void* b = heap_allocate(8 * mib);
  std::memset(a, 1, 8 * mib);
  std::memset(b, 2, 8 * mib);
  size_t most = 16 * size_t(mib);
  heap_release(a);
  heap_release(b);

  // Records alternate between a large stored part and a large inflated part.
  for (int round = 0; round < 6; ++round) {
    int32_t stored = round % 2 ? 7 * mib : mib;
    void* packed = heap_allocate(stored);
    std::memset(packed, 3, stored);
    void* content = heap_allocate(mib);
    for (int32_t size = 2 * mib; size <= 9 * mib - stored; size += mib) {
      heap_resize(&content, size);
      std::memset(static_cast<char*>(content) + size - mib, 4, mib);
      ASSERT_LE(memory_large_bytes_held(), most + slack) << "round " << round;
    }
    EXPECT_EQ(static_cast<uint8_t*>(packed)[stored - 1], 3);
    heap_release(packed);
    heap_release(content);
  }

  // A block shrunk in place keeps its pages until a growing block needs the
  // room; its contents survive, and it grows back whole.
  void* shrunk = heap_allocate(12 * mib);
  std::memset(shrunk, 5, 12 * mib);
  heap_resize(&shrunk, mib);
  void* growing = heap_allocate(mib);
  heap_resize(&growing, 15 * mib);
  std::memset(growing, 6, 15 * mib);
  EXPECT_LE(memory_large_bytes_held(), most + slack);
  EXPECT_EQ(static_cast<uint8_t*>(shrunk)[mib - 1], 5);
  heap_resize(&shrunk, 12 * mib);
  std::memset(shrunk, 7, 12 * mib);
  EXPECT_EQ(static_cast<uint8_t*>(growing)[15 * mib - 1], 6);
  heap_release(shrunk);
  heap_release(growing);
}

// A small block that grows past the small sizes moves once, into reserved
// space, and later steps grow it in place; shrunk small there, it stays, and
// it is given back as what it is.
TEST(Heap, GrowingBlocksMoveOnceThenGrowInPlace) {
  int32_t before = heap_block_count();
  void* block = heap_allocate(1000);
  std::memset(block, 0x33, 1000);
  heap_resize(&block, 20 << 10);
  void* moved = block;
  for (int32_t size = 40 << 10; size <= (4 << 20); size *= 2) {
    heap_resize(&block, size);
    if (sizeof(void*) >= 8) {
      EXPECT_EQ(block, moved) << size;
    }
  }
  EXPECT_EQ(static_cast<uint8_t*>(block)[999], 0x33);
  heap_resize(&block, 100);
  EXPECT_EQ(static_cast<uint8_t*>(block)[99], 0x33);
  heap_release(block);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(Heap, ExhaustionAndForeignBlocksEndTheProcess) {
  Outcome huge = run_body([] { heap_allocate(-1); });
  EXPECT_EQ(huge.exit_code, 203);
  EXPECT_EQ(huge.report().substr(0, 20), "Runtime error 203 at");

  Outcome grown = run_body([] {
    void* block = heap_allocate(16);
    heap_resize(&block, -16);
  });
  EXPECT_EQ(grown.exit_code, 203);

  static int not_ours;
  Outcome foreign = run_body([] { heap_release(&not_ours); });
  EXPECT_EQ(foreign.exit_code, 204);
  Outcome foreign_resize = run_body([] {
    void* block = &not_ours;
    heap_resize(&block, 0);
  });
  EXPECT_EQ(foreign_resize.exit_code, 204);
}

TEST(Heap, EndOfProcessGivesEverythingBack) {
  int32_t before = heap_block_count();
  run_body([] {
    heap_allocate(10);
    heap_allocate(2 << 20);
  });
  EXPECT_EQ(heap_block_count(), before);
}

TEST(String, ValueSemantics) {
  String a("abc");
  String b = a;
  b += "def";
  EXPECT_STREQ(a.c_str(), "abc");
  EXPECT_STREQ(b.c_str(), "abcdef");
  EXPECT_EQ(b.find("cd"), 2);
  EXPECT_EQ(b.find("x"), -1);
  EXPECT_STREQ(b.substring(4, 10).c_str(), "ef");
  EXPECT_EQ(String().length(), 0);
  EXPECT_STREQ(String().c_str(), "");
  String with_nul("a\0b", 3);
  EXPECT_EQ(with_nul.length(), 3);
  EXPECT_FALSE(with_nul == String("a"));
}

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
