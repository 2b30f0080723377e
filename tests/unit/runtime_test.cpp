// The stub's run-time heap and its strings, run inside the harness so that
// exhaustion and foreign blocks end as run-time errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "support/runtime/heap.h"
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
  heap_resize(&block, 3 << 20); // moved where the system cannot grow it
  heap_resize(&block, 5 << 20);
  EXPECT_EQ(static_cast<uint8_t*>(block)[99], 0x5A);
  heap_resize(&block, 50);
  EXPECT_EQ(static_cast<uint8_t*>(block)[49], 0x5A);
  heap_resize(&block, 0);
  EXPECT_EQ(block, nullptr);
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
