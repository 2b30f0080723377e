// The stub's run-time heap and its strings, run inside the harness so that
// exhaustion and foreign blocks end as run-time errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "support/runtime/heap.h"
#include "support/runtime/memory.h"
#include "support/runtime/string.h"

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

} // namespace
