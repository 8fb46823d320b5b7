// The data stream's table of written objects by address.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvex/stream/addressnumbers.h"

namespace cvx {
namespace {

const void* At(std::uintptr_t address) { return reinterpret_cast<const void*>(address); }

TEST(AddressNumbersTest, NumbersComeBackThroughEveryGrowthAndOthersAreAbsent) {
  detail::AddressNumbers table;
  EXPECT_EQ(table.Find(At(0x1000)), 0);
  constexpr int kCount = 100000;
  const std::uintptr_t base = 0x7f0000100000;
  for (int i = 0; i < kCount; ++i) table.Add(At(base + 48u * static_cast<std::uintptr_t>(i)), i + 1);
  EXPECT_EQ(table.Count(), static_cast<std::size_t>(kCount));
  int wrong = 0, found = 0;
  for (int i = 0; i < kCount; ++i) {
    if (table.Find(At(base + 48u * static_cast<std::uintptr_t>(i))) != i + 1) ++wrong;
    // Between two objects, and just past the last, nothing was written.
    if (table.Find(At(base + 48u * static_cast<std::uintptr_t>(i) + 16))) ++found;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(table.Find(At(base + 48u * kCount)), 0);
  EXPECT_EQ(table.Find(At(base - 16)), 0);
}

// Allocators hand out chunks at round addresses: objects at the same offsets
// of many chunks share their low bits, and must still all be told apart.
TEST(AddressNumbersTest, ObjectsAtTheSameOffsetsOfManyAlignedChunksAreToldApart) {
  detail::AddressNumbers table;
  std::vector<std::uintptr_t> addresses;
  for (std::uintptr_t chunk = 0; chunk < 512; ++chunk)
    for (std::uintptr_t offset = 0; offset < 64; ++offset)
      addresses.push_back(0x550000000000 + (chunk << 24) + offset * 64);
  for (std::size_t i = 0; i < addresses.size(); ++i) table.Add(At(addresses[i]), static_cast<std::int32_t>(i) + 1);
  int wrong = 0;
  for (std::size_t i = 0; i < addresses.size(); ++i)
    if (table.Find(At(addresses[i])) != static_cast<std::int32_t>(i) + 1) ++wrong;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(table.Find(At(0x550000000000 + (std::uintptr_t{512} << 24))), 0);
}

}  // namespace
}  // namespace cvx
