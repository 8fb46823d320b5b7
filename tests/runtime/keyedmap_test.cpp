#include "corvex/runtime/keyedmap.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "corvex/runtime/memory.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

struct TIntKey final : TObject {
  explicit TIntKey(int value) : value(value) {}
  std::intptr_t Compare(TObject* other) override { return value - static_cast<TIntKey*>(other)->value; }
  int value;
};

Ref<TObject> K(int value) { return new TIntKey(value); }
int V(TObject* key) { return static_cast<TIntKey*>(key)->value; }
int KeyOf(TMapNode* node) { return V(node->Key().Get()); }

Ref<TKeyedMap> MapOf(std::initializer_list<int> keys) {
  Ref<TKeyedMap> map = new TKeyedMap;
  for (int key : keys) map->Insert(K(key), K(key * 10));
  return map;
}

// Keys in order, and every link checked both ways and against the key order.
std::vector<int> CheckedKeys(TKeyedMap* map) {
  std::vector<int> keys;
  if (TMapNode* root = map->Root()) {
    EXPECT_EQ(root->Parent(), nullptr);
  }
  std::vector<std::pair<TMapNode*, std::pair<long, long>>> pending;
  if (map->Root()) pending.push_back({map->Root(), {-1000000000L, 1000000000L}});
  while (!pending.empty()) {
    auto [node, range] = pending.back();
    pending.pop_back();
    int key = KeyOf(node);
    EXPECT_GT(key, range.first);
    EXPECT_LT(key, range.second);
    if (TMapNode* left = node->Left()) {
      EXPECT_EQ(left->Parent(), node);
      pending.push_back({left, {range.first, key}});
    }
    if (TMapNode* right = node->Right()) {
      EXPECT_EQ(right->Parent(), node);
      pending.push_back({right, {key, range.second}});
    }
  }
  for (auto cursor = map->Keys()->Cursor(); cursor->HasMore();) keys.push_back(V(cursor->NextNode().Get()));
  return keys;
}

TEST(KeyedMap, RemovingTheRootPromotesItsLeftSubtree) {
  Ref<TKeyedMap> map = MapOf({2, 1, 3});
  map->Remove(K(2));
  ASSERT_NE(map->Root(), nullptr);
  EXPECT_EQ(KeyOf(map->Root()), 1);
  ASSERT_NE(map->Root()->Right(), nullptr);
  EXPECT_EQ(KeyOf(map->Root()->Right()), 3);
  EXPECT_EQ(map->Root()->Left(), nullptr);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{1, 3}));
}

TEST(KeyedMap, RemovingARightChildPromotesItsRightSubtree) {
  Ref<TKeyedMap> map = MapOf({5, 8, 7, 9});
  map->Remove(K(8));
  TMapNode* root = map->Root();
  EXPECT_EQ(KeyOf(root), 5);
  ASSERT_NE(root->Right(), nullptr);
  EXPECT_EQ(KeyOf(root->Right()), 9);
  ASSERT_NE(root->Right()->Left(), nullptr);
  EXPECT_EQ(KeyOf(root->Right()->Left()), 7);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{5, 7, 9}));
}

TEST(KeyedMap, RemovingALeftChildPromotesItsLeftSubtree) {
  Ref<TKeyedMap> map = MapOf({5, 2, 1, 3, 4});
  map->Remove(K(2));  // 1 takes its place; 3 (with 4) hangs to the right of 1
  TMapNode* root = map->Root();
  ASSERT_NE(root->Left(), nullptr);
  EXPECT_EQ(KeyOf(root->Left()), 1);
  ASSERT_NE(root->Left()->Right(), nullptr);
  EXPECT_EQ(KeyOf(root->Left()->Right()), 3);
  EXPECT_EQ(KeyOf(root->Left()->Right()->Right()), 4);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{1, 3, 4, 5}));
}

TEST(KeyedMap, AttachedSubtreeHangsBelowTheDeepestFittingNode) {
  // Remove 10 (right child of 1): 15 takes its place and 5's subtree goes below 12.
  Ref<TKeyedMap> map = MapOf({1, 10, 5, 15, 12, 20, 3, 7});
  map->Remove(K(10));
  TMapNode* fifteen = map->Root()->Right();
  ASSERT_NE(fifteen, nullptr);
  EXPECT_EQ(KeyOf(fifteen), 15);
  ASSERT_NE(fifteen->Left(), nullptr);
  EXPECT_EQ(KeyOf(fifteen->Left()), 12);
  ASSERT_NE(fifteen->Left()->Left(), nullptr);
  EXPECT_EQ(KeyOf(fifteen->Left()->Left()), 5);
  EXPECT_EQ(KeyOf(fifteen->Left()->Left()->Left()), 3);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{1, 3, 5, 7, 12, 15, 20}));
}

TEST(KeyedMap, OneSidedRemovals) {
  Ref<TKeyedMap> map = MapOf({5, 8, 7});
  map->Remove(K(8));  // right child without a right subtree: its left takes its place
  EXPECT_EQ(KeyOf(map->Root()->Right()), 7);
  map = MapOf({5, 2, 3});
  map->Remove(K(2));  // left child without a left subtree: its right takes its place
  EXPECT_EQ(KeyOf(map->Root()->Left()), 3);
  map = MapOf({1, 2, 3});
  map->Remove(K(1));  // root without a left subtree
  EXPECT_EQ(KeyOf(map->Root()), 2);
  EXPECT_EQ(map->Root()->Parent(), nullptr);
  map = MapOf({2, 1});
  map->Remove(K(2));
  EXPECT_EQ(KeyOf(map->Root()), 1);
  map->Remove(K(1));
  EXPECT_EQ(map->Root(), nullptr);
  EXPECT_EQ(map->FirstNode(), nullptr);
  map = MapOf({5, 3, 8});
  map->Remove(K(3));  // a leaf
  EXPECT_EQ(map->Root()->Left(), nullptr);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{5, 8}));
}

TEST(KeyedMap, RemovedNodeLetsGoOfTheTree) {
  Ref<TKeyedMap> map = MapOf({5, 8, 7, 9});
  Ref<TMapNode> node = map->FindNode(K(8));
  map->Remove(K(8));
  EXPECT_EQ(node->Parent(), nullptr);
  EXPECT_EQ(node->Left(), nullptr);
  EXPECT_EQ(node->Right(), nullptr);
  EXPECT_EQ(KeyOf(node.Get()), 8);
  EXPECT_EQ(map->FindNode(K(8)), nullptr);
  node->Unlink();  // without a parent: nothing happens
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{5, 7, 9}));
}

TEST(KeyedMap, SameKeyKeepsOneNodeWithTheLastValue) {
  Ref<TKeyedMap> map = new TKeyedMap;
  String first = "key", second = String("k") + String("ey");
  Ref<TMapNode> a = map->Insert(first, String("one"));
  Ref<TMapNode> b = map->Insert(second, String("two"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->Key().Get(), second.Body());  // the key object is replaced too
  EXPECT_EQ(String::FromObject(map->ValueFor(String("key")).Get()), "two");
  EXPECT_EQ(map->Root()->Left(), nullptr);
  EXPECT_EQ(map->Root()->Right(), nullptr);
}

TEST(KeyedMap, EnumerationIsInKeyOrder) {
  Ref<TKeyedMap> map = MapOf({3, 1, 2});
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{1, 2, 3}));
  std::vector<int> values;
  for (auto cursor = map->Values()->Cursor(); cursor->HasMore();) values.push_back(V(cursor->NextNode().Get()));
  EXPECT_EQ(values, (std::vector<int>{10, 20, 30}));
  std::vector<int> nodes;
  for (auto cursor = map->Nodes(); cursor->HasMore();) {
    Ref<TMapNode> node = RefCast<TMapNode>(cursor->NextNode());
    ASSERT_TRUE(node);
    nodes.push_back(KeyOf(node.Get()));
  }
  EXPECT_EQ(nodes, (std::vector<int>{1, 2, 3}));
  Ref<TMapCursor> done = map->Keys()->Cursor();
  while (done->HasMore()) done->NextNode();
  EXPECT_EQ(done->NextNode(), nullptr);
  EXPECT_EQ(Ref<TKeyedMap>(new TKeyedMap)->Keys()->Cursor()->HasMore(), 0);
}

TEST(KeyedMap, StringKeysOrderByText) {
  Ref<TKeyedMap> map = new TKeyedMap;
  for (const char* text : {"pear", "apple", "fig", "apples"}) map->Insert(String(text), String(text).Uppered());
  std::vector<std::string> keys;
  for (auto cursor = map->Keys()->Cursor(); cursor->HasMore();)
    keys.push_back(String::FromObject(cursor->NextNode().Get()).ToStd());
  EXPECT_EQ(keys, (std::vector<std::string>{"apple", "apples", "fig", "pear"}));
  EXPECT_EQ(String::FromObject(map->ValueFor(String("fig")).Get()), "FIG");
  EXPECT_EQ(map->ValueFor(String("plum")), nullptr);
}

TEST(KeyedMap, MissingKeysAndEmptyMaps) {
  Ref<TKeyedMap> map = new TKeyedMap;
  map->Remove(K(1));
  EXPECT_EQ(map->FindNode(K(1)), nullptr);
  EXPECT_EQ(map->ValueFor(K(1)), nullptr);
  map = MapOf({4, 2, 6});
  map->Remove(K(5));
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{2, 4, 6}));
  EXPECT_THROW(map->Insert(nullptr, K(1)), TRuntimeError);
  EXPECT_EQ(map->ValueFor(nullptr), nullptr);  // a null key is never in a map
  map->Remove(nullptr);
  EXPECT_EQ(CheckedKeys(map.Get()), (std::vector<int>{2, 4, 6}));
  map->Clear();
  EXPECT_EQ(map->Root(), nullptr);
  map->Clear();
}

// A key whose Compare changes the map the first time it runs.
struct TMeddlingKey final : TObject {
  TMeddlingKey(int value, TKeyedMap* map, bool clear) : value(value), map(map), clear(clear) {}
  std::intptr_t Compare(TObject* other) override {
    if (map) {
      TKeyedMap* target = map;
      map = nullptr;
      if (clear)
        target->Clear();
      else
        target->Remove(Ref<TObject>(other));  // the node this descent is at
    }
    return value - static_cast<TIntKey*>(other)->value;
  }
  int value;
  TKeyedMap* map;
  bool clear;
};

TEST(KeyedMap, InsertingWhileTheKeysCompareChangesTheMapIsNoSilentLoss) {
  // The descent goes on in nodes that left the tree: the entry must not be
  // reported as stored when no lookup can find it.
  for (bool clear : {false, true}) {
    Ref<TKeyedMap> map = MapOf({50, 20, 80, 10, 30});
    Ref<TObject> key = new TMeddlingKey(25, map.Get(), clear);
    try {
      Ref<TMapNode> node = map->Insert(key, K(1));
      EXPECT_EQ(map->FindNode(key), node) << clear;
    } catch (const TRuntimeError& error) {
      EXPECT_EQ(std::string(error.what()), "Keyed map changed while a key was compared");
      EXPECT_FALSE(map->FindNode(key));
    }
    // Every node the map still has is reached from its root, in order.
    int previous = -1;
    for (Ref<TMapCursor> nodes = map->Nodes(); nodes->HasMore();) {
      auto* node = static_cast<TMapNode*>(nodes->NextNode().Get());
      int k = node->Key() == key ? 25 : KeyOf(node);
      EXPECT_GT(k, previous);
      previous = k;
    }
  }
}

TEST(KeyedMap, NodeOperationsRefuseNodesOutOfPlace) {
  // UnlinkRoot of a node that has a parent, and attaching a subtree that is
  // still in a tree (or holds the node it goes below), would lose entries or
  // link a node below itself, after which every walk goes round for ever.
  Ref<TKeyedMap> map = MapOf({50, 20, 80, 10, 30});
  TMapNode* root = map->Root();
  Ref<TMapNode> twenty = map->FindNode(K(20));
  EXPECT_THROW(twenty->UnlinkRoot(), TRuntimeError);
  EXPECT_THROW(root->AttachSubtree(twenty.Get()), TRuntimeError);
  EXPECT_THROW(twenty->AttachSubtree(root), TRuntimeError);
  EXPECT_THROW(twenty->AttachSubtree(twenty.Get()), TRuntimeError);
  EXPECT_EQ(map->Root(), root);
  EXPECT_EQ(twenty->Parent(), root);
  EXPECT_EQ(KeyOf(twenty->Left()), 10);
  EXPECT_EQ(KeyOf(twenty->Right()), 30);
  EXPECT_EQ(root->Left(), twenty.Get());
  EXPECT_EQ(KeyOf(root->Right()), 80);
  // A detached subtree is taken as before.
  Ref<TMapNode> loose = new TMapNode(K(60), nullptr);
  root->AttachSubtree(loose.Get());
  EXPECT_EQ(map->FindNode(K(60)), loose);
}

TEST(KeyedMap, RandomInsertionsAndRemovalsMatchAnOrderedMap) {
  Ref<TKeyedMap> map = new TKeyedMap;
  std::map<int, int> model;
  unsigned seed = 99;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % 200);
  };
  for (int round = 0; round < 3000; ++round) {
    int key = next();
    if (next() % 3 == 0) {
      map->Remove(K(key));
      model.erase(key);
    } else {
      map->Insert(K(key), K(round));
      model[key] = round;
    }
    if (round % 100 == 0) {
      std::vector<int> expected;
      for (auto& entry : model) expected.push_back(entry.first);
      ASSERT_EQ(CheckedKeys(map.Get()), expected) << round;
    }
  }
  for (auto& [key, value] : model) ASSERT_EQ(V(map->ValueFor(K(key)).Get()), value);
}

// Removing entries while a walk is under way: the walk never hands out a key
// that has left the map, and every key that stays and lies ahead still comes.
TEST(KeyedMap, WalksGoOnOverRemovalsAndEndWithAClear) {
  {
    Ref<TKeyedMap> map = MapOf({4, 2, 6, 1, 3, 5, 7});
    Ref<TMapCursor> keys = map->Keys()->Cursor();
    EXPECT_EQ(V(keys->NextNode().Get()), 1);
    map->Remove(K(2));  // the key due next
    map->Remove(K(3));  // and the one after it
    EXPECT_EQ(V(keys->NextNode().Get()), 4);
    map->Clear();
    EXPECT_EQ(keys->HasMore(), 0);
    EXPECT_EQ(keys->NextNode(), nullptr);
  }
  {
    // The root due next, taken out.
    Ref<TKeyedMap> map = MapOf({2, 1, 3});
    Ref<TMapCursor> keys = map->Keys()->Cursor();
    EXPECT_EQ(V(keys->NextNode().Get()), 1);
    map->Remove(K(2));
    ASSERT_EQ(keys->HasMore(), 1);
    EXPECT_EQ(V(keys->NextNode().Get()), 3);
    EXPECT_EQ(keys->HasMore(), 0);
  }
  // Random maps, random removals between the steps of a walk.
  unsigned seed = 7;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % 64);
  };
  for (int round = 0; round < 300; ++round) {
    Ref<TKeyedMap> map = new TKeyedMap;
    std::map<int, int> model;
    for (int i = 0; i < 40; ++i) {
      int key = next();
      map->Insert(K(key), K(key));
      model[key] = key;
    }
    int last = -1;
    for (Ref<TMapCursor> keys = map->Keys()->Cursor(); keys->HasMore();) {
      Ref<TObject> key = keys->NextNode();
      ASSERT_TRUE(key) << round;
      int k = V(key.Get());
      ASSERT_TRUE(model.count(k)) << "handed out a key that is no longer in the map, round " << round;
      // Nothing still in the map between the last key and this one was skipped.
      ASSERT_EQ(model.upper_bound(last)->first, k) << round;
      last = k;
      for (int r = next() % 3; r > 0; --r) {
        int gone = next();
        map->Remove(K(gone));
        model.erase(gone);
      }
    }
    EXPECT_EQ(model.upper_bound(last), model.end()) << round;
  }
}

__attribute__((noinline)) void FillDeepMap(int count) {
  Ref<TKeyedMap> map = new TKeyedMap;
  for (int key = 0; key < count; ++key) map->Insert(K(key), nullptr);  // one long right spine
  EXPECT_EQ(KeyOf(map->FindNode(K(count - 1)).Get()), count - 1);
  map->Remove(K(0));
  map->Remove(K(count / 2));
  int n = 0;
  for (auto cursor = map->Nodes(); cursor->HasMore(); cursor->NextNode()) ++n;
  EXPECT_EQ(n, count - 2);
}

class KeyedMapMemory : public testing_support::QuietHeap {};

TEST_F(KeyedMapMemory, DeepTreesAndTheirMemory) {
  int before = AllocatedBytes();
  FillDeepMap(5000);  // walks are loops: no recursion as deep as the tree
  testing_support::Settle();
  EXPECT_EQ(AllocatedBytes(), before);  // the map's destructor breaks the parent links
}

}  // namespace
}  // namespace cvx
