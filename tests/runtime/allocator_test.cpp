#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "corvex/runtime/array.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using testing_support::Settle;

std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

TEST(Allocator, BlocksAreAlignedAndCounted) {
  for (std::ptrdiff_t n : {1, 15, 16, 17, 240, 241, 1000, 100000}) {
    int before = AllocatedBytes();
    void* block = AllocateBlock(n);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Address(block) % 16, 0u) << n;
    EXPECT_EQ(AllocatedBytes() - before, n);
    FreeBlock(block, n);
    EXPECT_EQ(AllocatedBytes(), before);
  }
  int before = AllocatedBytes();
  EXPECT_EQ(AllocateBlock(0), nullptr);
  EXPECT_EQ(AllocateBlock(-5), nullptr);
  EXPECT_EQ(AllocatedBytes(), before);
}

TEST(Allocator, BlocksTheCounterCannotHoldAreRefused) {
  int before = AllocatedBytes();
  EXPECT_THROW(AllocateBlock(std::ptrdiff_t{1} << 40), TRuntimeError);
  EXPECT_THROW(AllocateBlock(std::numeric_limits<int>::max()), TRuntimeError);
  EXPECT_THROW(NewArray<std::int64_t>(std::numeric_limits<std::int32_t>::max()), TRuntimeError);
  EXPECT_EQ(AllocatedBytes(), before);
}

TEST(Allocator, SizesShareAClassOfSixteenBytes) {
  // Freed blocks go to the head of their class's free list and come back first.
  void* block = AllocateBlock(33);  // class 3: 48 bytes
  FreeBlock(block, 33);
  void* same = AllocateBlock(48);
  EXPECT_EQ(same, block);
  FreeBlock(same, 48);
  void* other = AllocateBlock(49);  // class 4
  EXPECT_NE(other, block);
  void* again = AllocateBlock(40);
  EXPECT_EQ(again, block);
  FreeBlock(other, 49);
  FreeBlock(again, 40);
}

TEST(Allocator, LargeBlocksComeFromTheSystemAllocation) {
  void* raw = SystemAllocate(10);
  EXPECT_EQ(Address(raw) % 16, 0u);
  SystemFree(raw);
  SystemFree(nullptr);
}

// Carves blocks of one size class until a whole fresh chunk has been used, then
// checks that the chunk's remainder became one block of its own size class.
void CheckChunkRemainder(std::ptrdiff_t size) {
  const std::uintptr_t chunk = 64 * 1024;
  const std::uintptr_t perChunk = chunk / static_cast<std::uintptr_t>(size);
  const std::ptrdiff_t remainder = static_cast<std::ptrdiff_t>(chunk % static_cast<std::uintptr_t>(size));
  std::vector<char*> blocks;
  std::size_t runStart = 0;
  bool found = false;
  // Earlier frees of this class come back first (in any order); fresh carving
  // gives consecutive addresses. A run of exactly perChunk consecutive blocks
  // that starts and ends with a jump is one whole chunk.
  for (int i = 0; i < 20000 && !found; ++i) {
    char* block = static_cast<char*>(AllocateBlock(size));
    if (!blocks.empty() && block != blocks.back() + size) {
      std::size_t run = blocks.size() - runStart;
      if (run == perChunk && runStart > 0) {
        blocks.push_back(block);
        found = true;
        break;
      }
      runStart = blocks.size();
    }
    blocks.push_back(block);
  }
  ASSERT_TRUE(found) << size;
  char* chunkStart = blocks[runStart];
  if (remainder >= 16) {
    void* rest = AllocateBlock(remainder);
    EXPECT_EQ(rest, chunkStart + chunk - static_cast<std::uintptr_t>(remainder)) << size;
    FreeBlock(rest, remainder);
  }
  // Freed out of address order, so that taking them back later never looks
  // like carving a fresh chunk.
  for (std::size_t i = 1; i < blocks.size(); i += 2) FreeBlock(blocks[i], size);
  for (std::size_t i = 0; i < blocks.size(); i += 2) FreeBlock(blocks[i], size);
}

TEST(Allocator, ChunkRemainderJoinsItsOwnSizeClass) {
  CheckChunkRemainder(240);  // 273 blocks, 16 bytes left
  CheckChunkRemainder(224);  // 292 blocks, 128 bytes left
  CheckChunkRemainder(176);  // 372 blocks, 64 bytes left
}

// The objects live in this frame only, so that a pass run by the caller after
// it returns cannot find them through stale words of the test's own frame.
__attribute__((noinline)) void CountLargeBlocks(int before) {
  String text = Slice("x"_s, 0, 113);  // 16 + 2 * 113 = 242 bytes
  EXPECT_EQ(AllocatedBytes() - before, 242);
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(221);  // 20 + 221 = 241 bytes
  EXPECT_EQ(AllocatedBytes() - before, 242 + 241);
  String small = Slice("x"_s, 0, 10);
  EXPECT_EQ(AllocatedBytes() - before, 242 + 241 + 36);
}

class AllocatorMemory : public testing_support::QuietHeap {};

TEST_F(AllocatorMemory, StringAndArrayBlocksAboveTheSmallLimitAreCounted) {
  int before = AllocatedBytes();
  CountLargeBlocks(before);
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

__attribute__((noinline)) void CountStringBlocks(int before) {
  String a = "abcd";
  EXPECT_EQ(AllocatedBytes() - before, 16 + 8);
  String b = a + a;
  EXPECT_EQ(AllocatedBytes() - before, 16 + 8 + 16 + 16);
  String literal = "literal"_s;  // static: not counted
  String empty = Slice(a, 3, 3);
  EXPECT_EQ(AllocatedBytes() - before, 16 + 8 + 16 + 16);
}

TEST_F(AllocatorMemory, StringBlockIsHeaderPlusUnits) {
  int before = AllocatedBytes();
  CountStringBlocks(before);
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

}  // namespace
}  // namespace cvx
