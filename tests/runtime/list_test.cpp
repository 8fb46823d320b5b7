#include "corvex/runtime/list.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "corvex/runtime/memory.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using testing_support::CleanPass;
using testing_support::Settle;

// Ordered by key; tag tells equal keys apart.
struct TKeyed final : TObject {
  TKeyed(int key, int tag = 0) : key(key), tag(tag) {}
  std::intptr_t Compare(TObject* other) override { return key - static_cast<TKeyed*>(other)->key; }
  int key, tag;
};

struct TPlain final : TObject {
  int field = 7;
};

struct TOther final : TObject {};

std::vector<int> Keys(TList* list) {
  std::vector<int> keys;
  for (auto cursor = list->Cursor(); cursor->HasMore();) {
    Ref<TObject> item = cursor->NextItem();
    keys.push_back(item ? static_cast<TKeyed*>(item.Get())->key : -1);
  }
  return keys;
}

// The links must agree both ways and close through the sentinel.
void ExpectConsistent(TList* list) {
  TListNode* sentinel = list->Sentinel();
  ASSERT_TRUE(sentinel->IsSentinel());
  int forward = 0;
  for (Ref<TListNode> node = list->FrontNode(); node; node = node->NextNode()) {
    ++forward;
    ASSERT_LT(forward, 100000);
    if (Ref<TListNode> next = node->NextNode()) {
      ASSERT_EQ(next->PrevNode(), node);
    }
  }
  int backward = 0;
  for (Ref<TListNode> node = list->BackNode(); node; node = node->PrevNode()) ++backward;
  EXPECT_EQ(forward, list->Length());
  EXPECT_EQ(backward, list->Length());
  EXPECT_EQ(list->IsEmpty(), forward == 0 ? 1 : 0);
}

void ExpectNullObjectError(void (*action)()) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to access field or method of Null object");
  }
}

TEST(List, PushPopAndEnds) {
  Ref<TList> list = NewList();
  Ref<TKeyed> one = new TKeyed(1), two = new TKeyed(2), three = new TKeyed(3);
  list->PushBack(two);
  list->PushFront(one);
  list->PushBack(three);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(list->Front(), one);
  EXPECT_EQ(list->Back(), three);
  EXPECT_EQ(list->FrontNode()->Item(), one);
  EXPECT_EQ(list->BackNode()->Item(), three);
  EXPECT_EQ(list->FrontNode()->PrevNode(), nullptr);
  EXPECT_EQ(list->BackNode()->NextNode(), nullptr);
  EXPECT_EQ(list->PopFront(), one);
  EXPECT_EQ(list->PopBack(), three);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{2}));
  ExpectConsistent(list.Get());
}

TEST(List, EmptyListEdges) {
  Ref<TList> list = NewList();
  // Front and Back read the sentinel's item: the sentinel itself.
  EXPECT_EQ(list->Front().Get(), list->Sentinel());
  EXPECT_EQ(list->Back().Get(), list->Sentinel());
  EXPECT_EQ(RefCast<TKeyed>(list->Front()), nullptr);
  EXPECT_EQ(list->FrontNode(), nullptr);
  EXPECT_EQ(list->BackNode(), nullptr);
  // Popping an empty list leaves it intact.
  EXPECT_EQ(list->PopFront(), nullptr);
  EXPECT_EQ(list->PopBack(), nullptr);
  EXPECT_EQ(list->IsEmpty(), 1);
  EXPECT_EQ(list->Length(), 0);
  list->PushBack(String("a"));
  EXPECT_EQ(list->Length(), 1);
  ExpectConsistent(list.Get());
  EXPECT_EQ(list->Cursor()->HasMore(), 1);
  EXPECT_EQ(NewList()->Cursor()->HasMore(), 0);
}

TEST(List, InsertBeforeAndAfter) {
  Ref<TList> list = NewList();
  Ref<TListNode> middle = list->PushBack(new TKeyed(5));
  list->InsertBefore(new TKeyed(4), middle.Get());
  list->InsertAfter(new TKeyed(6), middle.Get());
  list->InsertAfter(new TKeyed(7), list->BackNode().Get());
  list->InsertBefore(new TKeyed(3), list->FrontNode().Get());
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{3, 4, 5, 6, 7}));
  ExpectConsistent(list.Get());
  EXPECT_THROW(list->InsertBefore(nullptr, nullptr), TRuntimeError);
}

TEST(List, NullItemsCountButAreSkipped) {
  Ref<TList> list = NewList();
  Ref<TKeyed> a = new TKeyed(1), b = new TKeyed(2);
  list->PushBack(a);
  list->PushBack(nullptr);
  list->PushBack(b);
  EXPECT_EQ(list->Length(), 3);
  EXPECT_EQ(list->ItemAt(0), a);
  EXPECT_EQ(list->ItemAt(1), b);
  ObjectArray items = list->ToItems();
  ASSERT_EQ(items->Length(), 3);
  EXPECT_EQ(items[0], a);
  EXPECT_EQ(items[1], b);
  EXPECT_EQ(items[2], nullptr);
  EXPECT_EQ(list->Duplicate()->Length(), 2);
  EXPECT_EQ(list->Inverted()->Length(), 2);
  EXPECT_EQ(TList::FromItems(items.Get())->Length(), 2);
  EXPECT_EQ(ListFromItems(nullptr)->Length(), 0);
}

TEST(List, ItemAtOutOfRange) {
  Ref<TList> list = NewList();
  list->PushBack(new TKeyed(1));
  for (int index : {1, 2, -1}) {
    try {
      list->ItemAt(index);
      ADD_FAILURE() << index;
    } catch (const TRuntimeError& error) {
      EXPECT_STREQ(error.what(), "List index out of range");
    }
  }
  EXPECT_THROW(NewList()->ItemAt(0), TRuntimeError);
}

TEST(List, OrderIsAStableBubbleSortOfNodes) {
  Ref<TList> list = NewList();
  for (int key : {3, 1, 2}) list->PushBack(new TKeyed(key));
  Ref<TListNode> nodeOfThree = list->FrontNode();
  list->Order(1);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(list->BackNode(), nodeOfThree);  // nodes move, items stay in their nodes
  list->Order(0);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{3, 2, 1}));
  ExpectConsistent(list.Get());

  Ref<TList> equal = NewList();
  int tags[][2] = {{2, 0}, {1, 1}, {2, 2}, {1, 3}, {2, 4}, {0, 5}, {1, 6}};
  for (auto& entry : tags) equal->PushBack(new TKeyed(entry[0], entry[1]));
  equal->Order(1);
  std::vector<int> order;
  for (TKeyed* item : Each<TKeyed>(equal.Get())) order.push_back(item->tag);
  EXPECT_EQ(order, (std::vector<int>{5, 1, 3, 6, 0, 2, 4}));
  equal->Order(0);
  order.clear();
  for (TKeyed* item : Each<TKeyed>(equal.Get())) order.push_back(item->tag);
  EXPECT_EQ(order, (std::vector<int>{0, 2, 4, 1, 3, 6, 5}));
  ExpectConsistent(equal.Get());
}

TEST(List, OrderManyAgainstAReference) {
  Ref<TList> list = NewList();
  std::vector<int> keys;
  unsigned seed = 12345;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1103515245u + 12345u;
    int key = static_cast<int>((seed >> 16) % 50);
    keys.push_back(key);
    list->PushBack(new TKeyed(key, i));
  }
  list->Order(1);
  std::vector<int> sorted = keys;
  std::stable_sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Keys(list.Get()), sorted);
  int lastKey = -1, lastTag = -1;
  for (TKeyed* item : Each<TKeyed>(list.Get())) {
    if (item->key == lastKey) {
      EXPECT_GT(item->tag, lastTag);
    }
    lastKey = item->key;
    lastTag = item->tag;
  }
  ExpectConsistent(list.Get());
  Ref<TList> single = NewList();
  single->Order(1);
  single->PushBack(new TKeyed(1));
  single->Order(0);
  EXPECT_EQ(Keys(single.Get()), (std::vector<int>{1}));
}

TEST(List, StringsSortByText) {
  Ref<TList> list = NewList();
  for (const char* text : {"pear", "apple", "fig", "apples"}) list->PushBack(String(text));
  list->Order(1);
  std::vector<std::string> texts;
  for (TStringBody* body : Each<TStringBody>(list.Get())) texts.push_back(String(body).ToStd());
  EXPECT_EQ(texts, (std::vector<std::string>{"apple", "apples", "fig", "pear"}));
  EXPECT_EQ(list->Holds(String("fig")), 1);  // by text, not identity
  EXPECT_EQ(ListHolds(list.Get(), String("kiwi")), 0);
  EXPECT_EQ(list->Erase(String("apple")), 1);
  EXPECT_EQ(String::FromObject(list->NodeOf(String("pear"))->Item()), "pear");
  EXPECT_EQ(list->Length(), 3);
}

TEST(List, EqualityIsCompareAndDefaultsToIdentity) {
  Ref<TList> list = NewList();
  Ref<TPlain> a = new TPlain, twin = new TPlain;
  list->PushBack(a);
  EXPECT_EQ(list->Holds(a.Get()), 1);
  EXPECT_EQ(list->Holds(twin.Get()), 0);  // equal fields, another object
  EXPECT_EQ(ListHolds(list.Get(), twin.Get()), 0);
  EXPECT_EQ(list->NodeOf(twin.Get()), nullptr);
  EXPECT_EQ(list->Erase(twin.Get()), 0);
  EXPECT_EQ(list->Length(), 1);
  Ref<TList> keyed = NewList();
  keyed->PushBack(new TKeyed(4, 1));
  Ref<TKeyed> probe = new TKeyed(4, 2);
  EXPECT_EQ(keyed->Holds(probe.Get()), 1);
  EXPECT_EQ(static_cast<TKeyed*>(keyed->NodeOf(probe.Get())->Item().Get())->tag, 1);
}

Ref<TList> nullHolder;

// Keyed items whose Compare unlinks a chosen node when its turn comes: a
// program's class may change the list it is being sorted in.
struct TUnlinking final : TObject {
  explicit TUnlinking(int key) : key(key) {}
  std::intptr_t Compare(TObject* other) override {
    if (--comparesLeft == 0 && victim) victim->Unlink();
    auto* keyed = dynamic_cast<TUnlinking*>(other);
    return keyed ? key - keyed->key : 0;
  }
  int key;
  static inline int comparesLeft = 0;
  static inline Ref<TListNode> victim;
};

// The first pass over 1 3 2 compares twice and ends on 3's node; the second
// pass's first Compare unlinks that node. The pass must still end (it walked
// round the list past its sentinel for ever), and the other two stay in order.
TEST(List, OrderEndsWhenCompareUnlinksTheNodeAPassEndsOn) {
  Ref<TList> list = NewList();
  list->PushBack(new TUnlinking(1));
  TUnlinking::victim = list->PushBack(new TUnlinking(3));
  list->PushBack(new TUnlinking(2));
  TUnlinking::comparesLeft = 3;
  list->Order(1);
  TUnlinking::victim = nullptr;
  EXPECT_LE(TUnlinking::comparesLeft, 0) << "the node was never unlinked";
  std::vector<int> keys;
  for (TUnlinking* item : Each<TUnlinking>(list.Get())) keys.push_back(item->key);
  EXPECT_EQ(keys, (std::vector<int>{1, 2}));
  ExpectConsistent(list.Get());
}

// A Compare that unlinks one of the two nodes it is comparing: the sort must
// not put that node back while swapping the pair, and the list must still
// empty when it goes.
TEST(List, OrderLeavesOutANodeCompareUnlinksFromThePairItCompares) {
  for (int which = 0; which < 2; ++which) {
    Ref<TList> list = NewList();
    Ref<TListNode> first = list->PushBack(new TUnlinking(3));
    Ref<TListNode> second = list->PushBack(new TUnlinking(1));
    list->PushBack(new TUnlinking(2));
    TUnlinking::victim = which ? first : second;
    TUnlinking::comparesLeft = 1;
    list->Order(1);
    TUnlinking::victim = nullptr;
    std::vector<int> keys;
    for (TUnlinking* item : Each<TUnlinking>(list.Get())) keys.push_back(item->key);
    EXPECT_EQ(keys, which ? (std::vector<int>{1, 2}) : (std::vector<int>{2, 3}));
    EXPECT_EQ(list->Length(), 2);
    ExpectConsistent(list.Get());
    EXPECT_FALSE((which ? first : second)->IsLinked());
    list = nullptr;  // destroying the list must end
  }
  CleanPass();
}

TEST(List, NullItemsRaiseWhenCompared) {
  nullHolder = NewList();
  nullHolder->PushBack(nullptr);
  nullHolder->PushBack(new TKeyed(1));
  ExpectNullObjectError([] { nullHolder->Holds(nullptr); });
  ExpectNullObjectError([] { nullHolder->NodeOf(nullptr); });
  ExpectNullObjectError([] { nullHolder->Erase(nullptr); });
  ExpectNullObjectError([] { nullHolder->Order(1); });
  nullHolder = nullptr;
}

TEST(List, ErasingDuringIterationVisitsEveryItemOnce) {
  Ref<TList> list = NewList();
  for (int key = 0; key < 10; ++key) list->PushBack(new TKeyed(key));
  std::vector<int> seen;
  for (auto cursor = list->Cursor(); cursor->HasMore();) {
    Ref<TObject> item = cursor->NextItem();
    seen.push_back(static_cast<TKeyed*>(item.Get())->key);
    EXPECT_EQ(list->Erase(item.Get()), 1);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(list->IsEmpty(), 1);
  ExpectConsistent(list.Get());

  // Every other item removed through Each while it walks.
  for (int key = 0; key < 6; ++key) list->PushBack(new TKeyed(key));
  seen.clear();
  for (TKeyed* item : Each<TKeyed>(list.Get())) {
    seen.push_back(item->key);
    if (item->key % 2 == 0) list->Erase(item);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 3, 5}));
}

TEST(List, EachWalksOnWhenTheLoopUnlinksTheItemsAroundIt) {
  Ref<TList> list = NewList();
  for (int key = 0; key < 8; ++key) list->PushBack(new TKeyed(key));
  list->PushBack(new TKeyed(8));
  list->PushBack(new TOther);
  std::vector<int> seen;
  for (TKeyed* item : Each<TKeyed>(list.Get())) {
    seen.push_back(item->key);
    // The front is the item the loop stands on: popping it keeps the walk.
    EXPECT_EQ(list->PopFront().Get(), item);
    // The node the loop goes to next, unlinked under it, is passed over.
    if (item->key == 2) list->PopFront();
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 4, 5, 6, 7, 8}));
  EXPECT_EQ(list->IsEmpty(), 0);  // the item of another class stays
  EXPECT_EQ(list->Length(), 1);
  ExpectConsistent(list.Get());
  EXPECT_NE(As<TOther>(list->PopBack().Get()), nullptr);
  EXPECT_EQ(list->IsEmpty(), 1);
}

// The walk holds no counts: what keeps the item it stands on and the node it
// goes to next alive, once the loop has unlinked both, is that collections
// count the stack's words as references. Run under ASan, a freed one shows.
struct TWatched final : TObject {
  TWatched(int key, int* alive) : key(key), alive(alive) { ++*alive; }
  ~TWatched() override { --*alive; }
  int key;
  int* alive;
};

// In a frame of its own, so that the words it leaves on the stack lie where
// the passes that follow overwrite them.
__attribute__((noinline)) std::vector<int> WalkErasingAndCollecting(int* alive) {
  std::vector<int> seen;
  Ref<TList> list = NewList();
  for (int key = 0; key < 40; ++key) list->PushBack(new TWatched(key, alive));
  for (TWatched* item : Each<TWatched>(list.Get())) {
    EXPECT_EQ(list->Erase(item), 1);  // the list held the item's only reference
    list->PopFront();                 // and the next node's
    // Objects made in between reuse freed blocks: a freed item would be overwritten.
    for (int i = 0; i < 20; ++i) Ref<TWatched> scratch = new TWatched(-1, alive);
    ReclaimMemory();
    ReclaimMemory();
    seen.push_back(item->key);
  }
  EXPECT_EQ(list->IsEmpty(), 1);
  return seen;
}

TEST(List, EachKeepsWhatTheLoopUnlinksAliveThroughCollections) {
  int alive = 0;
  std::vector<int> seen = WalkErasingAndCollecting(&alive);
  std::vector<int> evens;
  for (int key = 0; key < 40; key += 2) evens.push_back(key);
  EXPECT_EQ(seen, evens);
  Settle();
  EXPECT_EQ(alive, 0);
}

std::uint32_t Holders(TObject* object) { return object->RefCount() & ~kQueuedMark; }

TEST(List, PushPopAndEachLeaveTheItemsCountsAsTheyWere) {
  Ref<TKeyed> a = new TKeyed(1), b = new TKeyed(2), c = new TKeyed(3);
  Ref<TList> list = NewList();
  list->PushBack(a);
  list->PushFront(b);
  list->InsertAfter(c, list->FrontNode().Get());  // b c a
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{2, 3, 1}));
  ExpectConsistent(list.Get());
  for (TKeyed* item : {a.Get(), b.Get(), c.Get()}) EXPECT_EQ(Holders(item), 2u) << item->key;
  int sum = 0;
  for (TKeyed* item : Each<TKeyed>(list.Get())) sum += item->key;
  EXPECT_EQ(sum, 6);
  for (TKeyed* item : {a.Get(), b.Get(), c.Get()}) EXPECT_EQ(Holders(item), 2u) << item->key;
  // A linked node is held by both neighbours.
  Ref<TListNode> middle = list->FrontNode()->NextNode();
  EXPECT_EQ(Holders(middle.Get()), 3u);
  {
    Ref<TObject> popped = list->PopFront();
    EXPECT_EQ(popped.Get(), b.Get());
    EXPECT_EQ(Holders(b.Get()), 2u);  // the list's reference went to popped
  }
  EXPECT_EQ(Holders(b.Get()), 1u);
  EXPECT_EQ(list->PopBack().Get(), a.Get());
  EXPECT_EQ(Holders(a.Get()), 1u);
  // Still linked (the sentinel on both sides), and the popped nodes keep
  // their old neighbours.
  EXPECT_EQ(Holders(middle.Get()), 5u);
  EXPECT_EQ(list->PopFront().Get(), c.Get());
  EXPECT_EQ(Holders(c.Get()), 1u);
  EXPECT_EQ(Holders(middle.Get()), 3u);
  EXPECT_EQ(list->PopFront(), nullptr);
  ExpectConsistent(list.Get());
}

TEST(List, CursorOnAnUnlinkedNodeContinues) {
  Ref<TList> list = NewList();
  Ref<TListNode> first = list->PushBack(new TKeyed(1));
  Ref<TListNode> second = list->PushBack(new TKeyed(2));
  list->PushBack(new TKeyed(3));
  Ref<TListCursor> cursor = list->Cursor();
  EXPECT_EQ(static_cast<TKeyed*>(cursor->NextItem().Get())->key, 1);
  // The cursor now holds the second node; unlink it under the cursor.
  UnlinkNode(second.Get());
  EXPECT_EQ(second->Item(), nullptr);
  ASSERT_EQ(cursor->HasMore(), 1);
  EXPECT_EQ(cursor->NextItem(), nullptr);  // once, for the unlinked node
  EXPECT_EQ(static_cast<TKeyed*>(cursor->NextItem().Get())->key, 3);
  EXPECT_EQ(cursor->HasMore(), 0);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 3}));
  (void)first;
}

// Asking past the end gives the null object and leaves the cursor at the end,
// however often it is asked; a cursor made on a node of no list ends too.
TEST(List, CursorPastTheEndGivesNullAndStays) {
  Ref<TList> list = NewList();
  list->PushBack(new TKeyed(1));
  Ref<TListCursor> cursor = list->Cursor();
  EXPECT_EQ(static_cast<TKeyed*>(cursor->NextItem().Get())->key, 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(cursor->HasMore(), 0);
    EXPECT_EQ(cursor->NextItem(), nullptr);
  }
  EXPECT_EQ(NewList()->Cursor()->NextItem(), nullptr);
  Ref<TListCursor> loose = new TListCursor(new TListNode);
  loose->NextItem();
  EXPECT_EQ(loose->HasMore(), 0);
  EXPECT_EQ(loose->NextItem(), nullptr);
  EXPECT_EQ(Ref<TListCursor>(new TListCursor(nullptr))->NextItem(), nullptr);
}

TEST(List, UnlinkingTwiceOrTheSentinelKeepsTheList) {
  Ref<TList> list = NewList();
  list->PushBack(new TKeyed(1));
  Ref<TListNode> gone = list->PushBack(new TKeyed(2));
  list->PushBack(new TKeyed(3));
  gone->Unlink();
  list->InsertAfter(new TKeyed(9), list->FrontNode().Get());  // between gone's old neighbours
  gone->Unlink();
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 9, 3}));
  list->FrontNode()->Unlink();
  list->Sentinel()->Unlink();
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{9, 3}));
  ExpectConsistent(list.Get());
}

// A node that is in no list (made on its own, or unlinked) has no place to
// insert at: inserting next to one is refused and every list stays whole.
TEST(List, InsertingNextToANodeInNoListIsRefused) {
  Ref<TList> list = NewList();
  list->PushBack(new TKeyed(1));
  Ref<TListNode> gone = list->PushBack(new TKeyed(2));
  list->PushBack(new TKeyed(3));
  gone->Unlink();
  Ref<TListNode> loose = new TListNode;
  for (TListNode* node : {gone.Get(), loose.Get()}) {
    for (int after = 0; after < 2; ++after) {
      try {
        if (after) list->InsertAfter(new TKeyed(9), node);
        else list->InsertBefore(new TKeyed(9), node);
        ADD_FAILURE() << "no error";
      } catch (const TRuntimeError& error) {
        EXPECT_STREQ(error.what(), "List node is not in a list");
      }
    }
  }
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{1, 3}));
  ExpectConsistent(list.Get());
  EXPECT_EQ(gone->Item(), nullptr);
  EXPECT_EQ(loose->NextNode(), nullptr);
  // The sentinel of an empty list is in its list.
  Ref<TList> empty = NewList();
  empty->InsertBefore(new TKeyed(4), empty->Sentinel());
  EXPECT_EQ(Keys(empty.Get()), (std::vector<int>{4}));
  list = nullptr;  // destroying the list must end
  CleanPass();
}

// The length is kept, not walked: after every kind of change, on two lists
// that also trade their nodes, it must match a walk of the list.
TEST(List, LengthFollowsEveryChange) {
  std::mt19937 random(7);
  Ref<TList> lists[2] = {NewList(), NewList()};
  std::vector<Ref<TListNode>> held;  // nodes kept by the program, some later unlinked
  auto walked = [](TList* list) {
    std::int32_t n = 0;
    for (Ref<TListNode> node = list->FrontNode(); node; node = node->NextNode()) ++n;
    return n;
  };
  for (int step = 0; step < 3000; ++step) {
    TList* list = lists[random() % 2].Get();
    const int length = list->Length();
    switch (random() % 11) {
      case 0: case 1: list->PushBack(new TKeyed(step)); break;
      case 2: held.push_back(list->PushFront(new TKeyed(step))); break;
      case 3: list->PopFront(); break;
      case 4: list->PopBack(); break;
      case 5:
        if (!held.empty()) {
          Ref<TListNode> node = held[random() % held.size()];
          if (node->IsLinked()) {
            list->InsertAfter(new TKeyed(step), node.Get());  // lands in the node's own list
          } else {
            EXPECT_THROW(list->InsertAfter(new TKeyed(step), node.Get()), TRuntimeError);
          }
          node->Unlink();
          node->Unlink();
        }
        break;
      case 6: lists[0]->Exchange(lists[1].Get()); break;
      case 7: if (random() % 20 == 0) list->RemoveAll(); break;
      case 8: list->Invert(); EXPECT_EQ(list->Length(), length); break;
      case 9:
        if (random() % 10 == 0) list->Order(1);
        EXPECT_EQ(list->Length(), length);
        break;
      case 10:
        if (length > 0) {
          EXPECT_EQ(list->Erase(list->Front()), 1);
        }
        break;
    }
    for (const Ref<TList>& each : lists) ASSERT_EQ(each->Length(), walked(each.Get())) << "step " << step;
  }
  ExpectConsistent(lists[0].Get());
  ExpectConsistent(lists[1].Get());
  EXPECT_EQ(lists[0]->Duplicate()->Length(), lists[0]->Length());
  EXPECT_EQ(static_cast<std::int32_t>(lists[1]->ToItems()->Length()), lists[1]->Length());
}

TEST(List, ExchangeInvertDuplicate) {
  Ref<TList> a = NewList(), b = NewList();
  for (int key : {1, 2, 3}) a->PushBack(new TKeyed(key));
  b->PushBack(new TKeyed(9));
  ListExchange(a.Get(), b.Get());
  EXPECT_EQ(Keys(a.Get()), (std::vector<int>{9}));
  EXPECT_EQ(Keys(b.Get()), (std::vector<int>{1, 2, 3}));
  Ref<TListNode> oldFront = b->FrontNode();
  ListInvert(b.Get());
  EXPECT_EQ(Keys(b.Get()), (std::vector<int>{3, 2, 1}));
  EXPECT_NE(b->BackNode(), oldFront);  // new nodes
  EXPECT_NE(b->NodeOf(oldFront->Item().Get()), oldFront);
  Ref<TList> copy = b->Duplicate();
  EXPECT_EQ(Keys(copy.Get()), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(copy->Front(), b->Front());  // the same items
  EXPECT_EQ(Keys(b->Inverted().Get()), (std::vector<int>{1, 2, 3}));
  ListRemoveAll(b.Get());
  EXPECT_EQ(ListEmpty(b.Get()), 1);
  EXPECT_EQ(ListLength(copy.Get()), 3);
  ExpectConsistent(b.Get());
  ExpectConsistent(copy.Get());
}

TEST(List, ModuleFunctions) {
  Ref<TList> list = NewList();
  Ref<TKeyed> x = new TKeyed(2);
  ListPushBack(list.Get(), x);
  ListPushFront(list.Get(), new TKeyed(1));
  EXPECT_EQ(ListNodeOf(list.Get(), x.Get())->Item(), x);
  ListOrder(list.Get(), 0);
  EXPECT_EQ(Keys(list.Get()), (std::vector<int>{2, 1}));
  ListErase(list.Get(), x.Get());
  ListErase(list.Get(), x.Get());  // absent: nothing happens
  EXPECT_EQ(Keys(ListFromItems(ListToItems(list.Get()).Get()).Get()), (std::vector<int>{1}));
  EXPECT_THROW(ListLength(nullptr), TRuntimeError);
}

TEST(List, EachSkipsOtherClassesAndNull) {
  Ref<TList> list = NewList();
  list->PushBack(new TKeyed(1));
  list->PushBack(new TOther);
  list->PushBack(nullptr);
  list->PushBack(String("text"));
  list->PushBack(new TKeyed(2));
  std::vector<int> keys;
  for (TKeyed* item : Each<TKeyed>(list.Get())) keys.push_back(item->key);
  EXPECT_EQ(keys, (std::vector<int>{1, 2}));
  int others = 0;
  for (TOther* other : Each<TOther>(list.Get())) others += other != nullptr;
  EXPECT_EQ(others, 1);
}

int destroyedItems = 0;
struct TTracked final : TObject {
  ~TTracked() override { ++destroyedItems; }
};

__attribute__((noinline)) TList* FillList(TList* list) {
  for (int i = 0; i < 5; ++i) list->PushBack(new TTracked);
  return list;
}

__attribute__((noinline)) void MakeDroppedList() { FillList(NewList().Get()); }

__attribute__((noinline)) void HoldThenRemoveAll() {
  Ref<TList> list = NewList();
  FillList(list.Get());
  CleanPass();
  EXPECT_EQ(destroyedItems, 0);  // held by the list
  list->RemoveAll();
  CleanPass();
  EXPECT_EQ(destroyedItems, 5);
}

class ListMemory : public testing_support::QuietHeap {};

TEST_F(ListMemory, ListsOwnTheirItems) {
  int before = AllocatedBytes();
  destroyedItems = 0;
  HoldThenRemoveAll();
  destroyedItems = 0;
  MakeDroppedList();
  CleanPass();
  EXPECT_EQ(destroyedItems, 5);  // the list, its nodes and items in one pass
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

TEST(List, DataTypeIsRegistered) {
  InitList();
  Ref<TList> list = NewList();
  Ref<TDataType> type = list->DataTypeOf();
  ASSERT_TRUE(type);
  EXPECT_EQ(type->TypeName(), "CVX.LinkedList.TList");
  EXPECT_EQ(FindDataType("CVX.LinkedList.TList"), type.Get());
  EXPECT_EQ(NewList()->DataTypeOf(), type);
}

}  // namespace
}  // namespace cvx
