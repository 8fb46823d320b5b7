// The data stream's numbers by address, kept in one page per 4 KB region and
// found through a directory of the regions.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvex/stream/addressnumbers.h"

namespace cvx {
namespace {

const void* At(std::uintptr_t address) { return reinterpret_cast<const void*>(address); }

// The first and last unit of a region, the units around a region's edge and
// the regions at both ends of the address space are all kept apart; region 0
// is a region like any other, not an empty directory entry.
TEST(AddressPagesTest, PageEdgesAndTheEndsOfTheAddressSpace) {
  detail::AddressNumbers table;
  const std::uintptr_t addresses[] = {0x10, 0xFF0, 0x1000, 0x7f0000100000, 0x7f0000100FF0, 0x7f0000101000,
                                      0xFFFFFFFFFFFFFFF0};
  std::int32_t number = 0;
  for (std::uintptr_t address : addresses) table.Add(At(address), ++number);
  number = 0;
  for (std::uintptr_t address : addresses) EXPECT_EQ(table.Find(At(address)), ++number) << std::hex << address;
  // Units next to those, in pages that exist and in regions that have none.
  const std::uintptr_t others[] = {0x20, 0xFE0, 0x1010, 0x2000, 0x7f0000100010, 0x7f0000102000, 0xFFFFFFFFFFFFFFE0};
  for (std::uintptr_t address : others) EXPECT_EQ(table.Find(At(address)), 0) << std::hex << address;
  EXPECT_EQ(table.Count(), 7u);
  EXPECT_EQ(table.Pages(), 5u);
}

// Objects of many chunks written in turn: every lookup changes region, the
// directory grows many times under the remembered page, and regions whose
// numbers differ only in high bits (the same offset of chunks 2^32 apart)
// must not meet.
TEST(AddressPagesTest, ObjectsOfManyChunksInTurnThroughDirectoryGrowth) {
  detail::AddressNumbers table;
  constexpr std::uintptr_t kChunks = 3000;
  constexpr std::uintptr_t kPerChunk = 12;
  auto address = [](std::uintptr_t chunk, std::uintptr_t k) {
    const std::uintptr_t base = chunk % 2 ? 0x7f0000000000 : 0x550000000000;
    return base + (chunk / 2 << 32) + k * 48;
  };
  std::int32_t number = 0;
  int wrongRightAfter = 0;
  for (std::uintptr_t k = 0; k < kPerChunk; ++k) {
    for (std::uintptr_t chunk = 0; chunk < kChunks; ++chunk) {
      table.Add(At(address(chunk, k)), ++number);
      // The page just made answers at once, and the first page stays found.
      if (table.Find(At(address(chunk, k))) != number || table.Find(At(address(0, 0))) != 1) ++wrongRightAfter;
    }
  }
  EXPECT_EQ(wrongRightAfter, 0);
  EXPECT_EQ(table.Pages(), kChunks);
  int wrong = 0, found = 0;
  number = 0;
  for (std::uintptr_t k = 0; k < kPerChunk; ++k) {
    for (std::uintptr_t chunk = 0; chunk < kChunks; ++chunk) {
      if (table.Find(At(address(chunk, k))) != ++number) ++wrong;
      if (table.Find(At(address(chunk, k) + 16))) ++found;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(table.Find(At(address(kChunks, 0))), 0);
}

}  // namespace
}  // namespace cvx
