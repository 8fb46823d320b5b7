// The runtime's fast paths against their plain meaning: the live-memory
// counter after mixed churn through the allocator's inline free lists and
// the collector, the stack scan that looks at words four at a time, and the
// typed iteration that skips dynamic_cast for final classes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "corvex/runtime/array.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using testing_support::CleanPass;
using testing_support::ReclaimModeGuard;
using testing_support::Settle;

template <int Bytes>
struct TSized : TObject {
  Ref<TObject> next;
  char payload[Bytes] = {};
};

class Churn : public testing_support::QuietHeap {
 protected:
  ReclaimModeGuard mode_{1};
};

// Objects of every small size class and above it, strings, arrays and raw
// blocks, made and dropped in a random order with automatic passes running.
__attribute__((noinline)) void ChurnAndDrop(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Ref<TObject>> kept;
  std::vector<std::pair<void*, std::ptrdiff_t>> raw;
  for (int i = 0; i < 20000; ++i) {
    switch (random() % 7) {
      case 0: kept.push_back(new TSized<8>); break;
      case 1: kept.push_back(new TSized<100>); break;
      case 2: kept.push_back(new TSized<300>); break;
      case 3: kept.push_back(String::OfInt(static_cast<std::int32_t>(random())) + "-"_s); break;
      case 4: kept.push_back(NewArray<std::int32_t>(static_cast<std::int32_t>(random() % 90))); break;
      case 5: {
        auto n = static_cast<std::ptrdiff_t>(1 + random() % 400);
        raw.emplace_back(AllocateBlock(n), n);
        break;
      }
      default:
        if (!kept.empty()) kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(random() % kept.size()));
        if (!raw.empty() && random() % 2) {
          FreeBlock(raw.back().first, raw.back().second);
          raw.pop_back();
        }
        break;
    }
  }
  for (auto& [block, n] : raw) FreeBlock(block, n);
}

TEST_F(Churn, TheLiveMemoryCounterReturnsToItsStartAfterMixedChurn) {
  int before = AllocatedBytes();
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    ChurnAndDrop(seed);
    Settle();
    EXPECT_EQ(AllocatedBytes(), before) << "seed " << seed;
  }
}

TEST_F(Churn, TheCounterFollowsEveryBlockWhileTheyLive) {
  int before = AllocatedBytes();
  std::int64_t expected = 0;
  std::vector<std::pair<void*, std::ptrdiff_t>> blocks;
  for (std::ptrdiff_t n = 1; n <= 600; n += 7) {
    blocks.emplace_back(AllocateBlock(n), n);
    expected += n;
    EXPECT_EQ(AllocatedBytes() - before, expected);
  }
  for (std::size_t i = 0; i < blocks.size(); i += 2) {
    FreeBlock(blocks[i].first, blocks[i].second);
    expected -= blocks[i].second;
  }
  EXPECT_EQ(AllocatedBytes() - before, expected);
  for (std::size_t i = 1; i < blocks.size(); i += 2) FreeBlock(blocks[i].first, blocks[i].second);
  EXPECT_EQ(AllocatedBytes(), before);
}

// Objects whose only references are raw words in a block of the stack, at
// every position of a group of four and in the words after the last group.
// The flags are static: an object freed late must not write into a frame
// that has returned.
bool watchedDestroyed[11];

struct TWatched : TObject {
  explicit TWatched(int index) : index(index) {}
  ~TWatched() override { watchedDestroyed[index] = true; }
  int index;
};

__attribute__((noinline)) int PassWithRawWords() {
  volatile std::uintptr_t words[11] = {};
  for (int i = 0; i < 11; ++i) words[i] = reinterpret_cast<std::uintptr_t>(new TWatched(i));
  CleanPass();
  int survivors = 0;
  for (bool d : watchedDestroyed) survivors += !d;
  for (auto& word : words) word = 0;
  return survivors;
}

TEST_F(Churn, TheStackScanFindsEveryWordThatHoldsAnObject) {
  for (bool& d : watchedDestroyed) d = false;
  EXPECT_EQ(PassWithRawWords(), 11);
  CleanPass();
  int freed = 0;
  for (bool d : watchedDestroyed) freed += d;
  EXPECT_EQ(freed, 11);
}

struct TFinalItem final : TObject {
  int value = 0;
};
struct TOpenItem : TObject {
  int value = 0;
};
struct TDerivedItem : TOpenItem {};

TEST(TypedIteration, FinalAndOpenClassesSkipEveryOtherItem) {
  Ref<TList> list = NewList();
  auto final1 = MakeRef<TFinalItem>();
  final1->value = 1;
  auto open2 = MakeRef<TOpenItem>();
  open2->value = 2;
  auto derived3 = MakeRef<TDerivedItem>();
  derived3->value = 3;
  auto final4 = MakeRef<TFinalItem>();
  final4->value = 4;
  list->PushBack(final1);
  list->PushBack(nullptr);
  list->PushBack(open2);
  list->PushBack("text"_s);
  list->PushBack(derived3);
  list->PushBack(final4);
  std::vector<int> finals, opens;
  for (TFinalItem* item : Each<TFinalItem>(list.Get())) finals.push_back(item->value);
  for (TOpenItem* item : Each<TOpenItem>(list.Get())) opens.push_back(item->value);
  EXPECT_EQ(finals, (std::vector<int>{1, 4}));
  EXPECT_EQ(opens, (std::vector<int>{2, 3}));  // a subclass counts as its base
  int strings = 0;
  for (TStringBody* body : Each<TStringBody>(list.Get())) strings += String(body) == "text"_s;
  EXPECT_EQ(strings, 1);
}

}  // namespace
}  // namespace cvx
