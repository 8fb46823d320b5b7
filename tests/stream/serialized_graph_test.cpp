// A graph whose objects are written in an order unrelated to their addresses:
// every lookup of the writer's numbers jumps between regions, and a second
// reference to each object comes at a random later point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "corvex/runtime/list.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/datastream.h"

namespace cvx {
namespace {

TEST(SerializedGraphTest, ObjectsInShuffledOrderWithLateSecondReferencesRoundTrip) {
  InitDataStreams();
  constexpr int kBanks = 30000;
  std::vector<Ref<TBank>> banks;
  for (int i = 0; i < kBanks; ++i) {
    banks.push_back(NewBank(4));
    std::memcpy(BankAddress(banks.back().Get()), &i, 4);
  }
  // Each bank twice, in a shuffled order, with a null now and then: item k
  // stands for bank ids[k] (-1 for null).
  std::vector<int> ids;
  for (int i = 0; i < kBanks; ++i) {
    ids.push_back(i);
    ids.push_back(i);
    if (i % 97 == 0) ids.push_back(-1);
  }
  std::mt19937 random(20261209);
  std::shuffle(ids.begin(), ids.end(), random);
  Ref<TList> list = NewList();
  for (int id : ids) list->PushBack(id < 0 ? Ref<TObject>() : Ref<TObject>(banks[static_cast<std::size_t>(id)]));

  Ref<TBankByteStream> bytes = NewBankByteStream(nullptr);
  Ref<TDataStream> out = TDataStream::Create(bytes.Get());
  out->WriteSerialized(list.Get());
  EXPECT_EQ(out->ObjectCount(), 1 + kBanks);
  bytes->Seek(0);
  Ref<TDataStream> in = TDataStream::Create(bytes.Get());
  auto read = RefCast<TList>(in->ReadSerialized());
  ASSERT_TRUE(read);
  EXPECT_EQ(in->ObjectCount(), 1 + kBanks);
  EXPECT_EQ(bytes->AtEnd(), 1);

  std::vector<TObject*> firstOf(kBanks, nullptr);
  std::size_t k = 0;
  int wrongItems = 0, splitObjects = 0;
  std::vector<TObject*> seen;
  for (auto cursor = read->Cursor(); cursor->HasMore(); ++k) {
    Ref<TObject> item = cursor->NextItem();
    if (k >= ids.size()) break;
    const int id = ids[k];
    if (id < 0) {
      if (item) ++wrongItems;
      continue;
    }
    auto* bank = As<TBank>(item.Get());
    int value = -1;
    if (bank && BankLength(bank) == 4) std::memcpy(&value, BankAddress(bank), 4);
    if (value != id) ++wrongItems;
    TObject*& first = firstOf[static_cast<std::size_t>(id)];
    if (!first) {
      first = item.Get();
      seen.push_back(first);
    } else if (first != item.Get()) {
      ++splitObjects;
    }
  }
  EXPECT_EQ(k, ids.size());
  EXPECT_EQ(wrongItems, 0);
  EXPECT_EQ(splitObjects, 0);
  // Different banks came back as different objects.
  std::sort(seen.begin(), seen.end());
  const auto distinctObjects = std::unique(seen.begin(), seen.end()) - seen.begin();
  EXPECT_EQ(distinctObjects, kBanks);
}

}  // namespace
}  // namespace cvx
