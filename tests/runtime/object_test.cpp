#include <gtest/gtest.h>

#include "corvex/runtime/list.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {
namespace {

struct TProbe : TObject {
  explicit TProbe(bool* destroyed = nullptr) : destroyed(destroyed) {}
  ~TProbe() override {
    if (destroyed) *destroyed = true;
  }
  bool* destroyed;
  Ref<TObject> next;
  char payload[40] = {};
};

// Creates an object that nothing refers to, in a frame that has returned
// before the caller's pass runs.
__attribute__((noinline)) void MakeUnreferenced(bool* destroyed) { new TProbe(destroyed); }

__attribute__((noinline)) void ClobberStack() {
  volatile char scratch[4096];
  for (auto& c : scratch) c = 0;
}

TEST(Collector, AllocatedBytesFollowsInstanceSize) {
  ReclaimMemory();
  int before = AllocatedBytes();
  bool destroyed = false;
  MakeUnreferenced(&destroyed);
  EXPECT_EQ(AllocatedBytes() - before, static_cast<int>(sizeof(TProbe)));
  ClobberStack();
  ReclaimMemory();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(AllocatedBytes(), before);
}

TEST(Collector, StoredObjectSurvivesAndLocalSurvives) {
  static bool destroyed = false;
  Ref<TProbe> held = new TProbe(&destroyed);
  ReclaimMemory();
  EXPECT_FALSE(destroyed);
  static bool localDestroyed = false;
  TProbe* volatile local = new TProbe(&localDestroyed);
  ReclaimMemory();
  EXPECT_FALSE(localDestroyed);
  EXPECT_EQ(local->RefCount(), kQueuedMark);  // queued again for the next pass
}

TEST(Collector, NullRefRaises) {
  Ref<TProbe> empty;
  try {
    empty->next = nullptr;
    FAIL();
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to access field or method of Null object");
  }
}

TEST(Strings, Basics) {
  EXPECT_EQ(String::OfFloat(1.5f), "1.50000000");
  EXPECT_EQ(String("-$FF").AsInt(), -255);
  EXPECT_EQ(String("FPS = ") + String::OfInt(60), "FPS = 60");
  EXPECT_EQ("abc"_s.Length(), 3);
  ReclaimMemory();
  EXPECT_EQ("abc"_s, String("abc"));  // literals are never freed
}

TEST(List, PushIterate) {
  Ref<TList> list = NewList();
  list->PushBack(String("b"));
  list->PushBack(String("a"));
  list->Order(1);
  EXPECT_EQ(String::FromObject(list->Front().Get()), "a");
  EXPECT_EQ(list->Length(), 2);
}

}  // namespace
}  // namespace cvx
