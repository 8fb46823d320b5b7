#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "corvex/runtime/object.h"
#include "corvex/runtime/stackscan.h"

namespace cvx {
namespace {

using detail::CandidateFilter;
using detail::kScanBlockWords;

// The answer worked out word by word.
const std::uintptr_t* ExpectedBlock(const std::uintptr_t* from, const std::uintptr_t* end, CandidateFilter filter) {
  const std::uintptr_t* p = from;
  for (; end - p >= kScanBlockWords; p += kScanBlockWords) {
    for (int i = 0; i < kScanBlockWords; ++i)
      if (filter.Admits(p[i])) return p;
  }
  return p;
}

using Finder = const std::uintptr_t* (*)(const std::uintptr_t*, const std::uintptr_t*, CandidateFilter) noexcept;

std::vector<std::pair<const char*, Finder>> Finders() {
  std::vector<std::pair<const char*, Finder>> finders = {{"plain", detail::NextCandidateBlockPlain},
                                                         {"chosen", detail::NextCandidateBlock}};
#if defined(__x86_64__)
  finders.push_back({"sse2", detail::NextCandidateBlockSse2});
  if (detail::HasAvx2()) finders.push_back({"avx2", detail::NextCandidateBlockAvx2});
#endif
  return finders;
}

TEST(StackScanTest, FilterAdmitsTheWholeRangeAndOnlyMultiplesOf16) {
  const std::uintptr_t low = 0x5555'0000'0000;
  const std::uintptr_t span = 3 << 19;
  CandidateFilter filter = detail::FilterFor(low, span);
  EXPECT_TRUE(filter.Admits(low));
  EXPECT_TRUE(filter.Admits(low + span - 16));
  EXPECT_FALSE(filter.Admits(low + 8));
  EXPECT_FALSE(filter.Admits(low - 16));
  EXPECT_FALSE(filter.Admits(low + (std::uintptr_t{1} << filter.shift)));
  EXPECT_FALSE(filter.Admits(0));
  // A span wider than half the address space still gives a shift the words can take.
  CandidateFilter wide = detail::FilterFor(16, ~std::uintptr_t{0} - 64);
  EXPECT_LE(wide.shift, 63u);
  EXPECT_TRUE(wide.Admits(0x7fff'ffff'fff0));
}

// Random stacks: words mostly outside the range or unaligned, a few
// candidates at random places (first and last word of a block, the tail).
TEST(StackScanTest, EveryVariantFindsTheSameBlocksAsWordByWord) {
  std::mt19937_64 random(12345);
  const std::uintptr_t low = 0x5555'6000'0000;
  CandidateFilter filter = detail::FilterFor(low, 40 << 19);
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uintptr_t> words(1 + random() % 300);
    for (auto& word : words) {
      switch (random() % 4) {
        case 0: word = random(); break;                                      // anything
        case 1: word = (low + random() % (40 << 19)) | (1 + random() % 15); break;  // in range, unaligned
        case 2: word = 0x7ffd'0000'0000 + (random() % 4096) * 16; break;   // a stack address
        default: word = random() % 4096; break;                              // a small number
      }
    }
    int candidates = static_cast<int>(random() % 4);
    for (int c = 0; c < candidates; ++c) words[random() % words.size()] = (low + random() % (40 << 19)) & ~15ull;
    const std::uintptr_t* begin = words.data();
    const std::uintptr_t* end = begin + words.size();
    for (auto [name, find] : Finders()) {
      SCOPED_TRACE(name);
      for (const std::uintptr_t* p = begin;;) {
        const std::uintptr_t* expected = ExpectedBlock(p, end, filter);
        ASSERT_EQ(find(p, end, filter), expected) << "round " << round << " from word " << (p - begin);
        if (end - expected < kScanBlockWords) break;
        p = expected + kScanBlockWords;
      }
    }
  }
}

TEST(StackScanTest, EdgesOfTheRangeAndOfTheBlock) {
  const std::uintptr_t low = 0x1000'0000;
  CandidateFilter filter = detail::FilterFor(low, 1 << 19);
  for (auto [name, find] : Finders()) {
    SCOPED_TRACE(name);
    for (int at = 0; at < kScanBlockWords * 2; ++at) {
      std::vector<std::uintptr_t> words(kScanBlockWords * 2, low - 16);  // just below the range
      words[static_cast<std::size_t>(at)] = low + (std::uintptr_t{1} << filter.shift) - 16;  // the last admitted word
      const std::uintptr_t* begin = words.data();
      EXPECT_EQ(find(begin, begin + words.size(), filter), begin + (at / kScanBlockWords) * kScanBlockWords) << at;
    }
    // Fewer words than a block: the scan stops at once, leaving them to the caller.
    std::uintptr_t few[3] = {low, low, low};
    EXPECT_EQ(find(few, few + 3, filter), few);
  }
}

}  // namespace
}  // namespace cvx
