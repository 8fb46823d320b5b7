#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "corvex/runtime/array.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using testing_support::CleanPass;
using testing_support::ClobberStack;
using testing_support::ReclaimModeGuard;
using testing_support::Settle;

struct TProbe : TObject {
  explicit TProbe(bool* destroyed = nullptr) : destroyed(destroyed) {}
  ~TProbe() override {
    if (destroyed) *destroyed = true;
  }
  bool* destroyed;
  Ref<TObject> next;
  char payload[40] = {};
};

// Counts destructions, for chains.
int destroyedCount = 0;
struct TCounted : TObject {
  ~TCounted() override { ++destroyedCount; }
  Ref<TObject> next;
};

class CollectorTest : public testing_support::QuietHeap {
 protected:
  ReclaimModeGuard mode_{1};
};

// Creates an object that nothing refers to, in a frame that has returned
// before the caller's pass runs.
__attribute__((noinline)) void MakeUnreferenced(bool* destroyed) { new TProbe(destroyed); }

TEST_F(CollectorTest, AllocatedBytesFollowsInstanceSize) {
  int before = AllocatedBytes();
  bool destroyed = false;
  MakeUnreferenced(&destroyed);
  EXPECT_EQ(AllocatedBytes() - before, static_cast<int>(sizeof(TProbe)));
  EXPECT_FALSE(destroyed);  // destruction waits for a pass
  CleanPass();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(AllocatedBytes(), before);
  EXPECT_EQ(LastReclaimBytes(), static_cast<int>(sizeof(TProbe)));
  EXPECT_GE(LastReclaimObjects(), 1);
}

Ref<TProbe> rescued;

__attribute__((noinline)) void MakeAndStore(bool* destroyed) { rescued = new TProbe(destroyed); }

// The test body never holds the object itself: these helpers touch it.
__attribute__((noinline)) std::uint32_t RescuedCount() { return rescued->RefCount(); }
__attribute__((noinline)) void DropRescued() { rescued = nullptr; }

TEST_F(CollectorTest, StoredObjectIsRescuedWithoutChangingTheCount) {
  int before = AllocatedBytes();
  bool destroyed = false;
  MakeAndStore(&destroyed);
  int afterCreation = AllocatedBytes();
  EXPECT_EQ(afterCreation - before, static_cast<int>(sizeof(TProbe)));
  CleanPass();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(AllocatedBytes(), afterCreation);
  EXPECT_EQ(RescuedCount(), 1u);  // live, no longer queued
  DropRescued();                  // count 0: queued again
  EXPECT_FALSE(destroyed);        // only a pass destroys
  CleanPass();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(AllocatedBytes(), before);
}

__attribute__((noinline)) void PassWhileLocalIsLive(bool* destroyed, std::uint32_t* countAfter) {
  TProbe* volatile local = new TProbe(destroyed);
  CleanPass();
  *countAfter = local->RefCount();
}

TEST_F(CollectorTest, ObjectHeldOnlyByALocalSurvives) {
  bool destroyed = false;
  std::uint32_t count = 0;
  PassWhileLocalIsLive(&destroyed, &count);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(count, kQueuedMark);  // a root at count 0 is queued again for the next pass
  CleanPass();
  EXPECT_TRUE(destroyed);
}

__attribute__((noinline)) void MakeChain() {
  Ref<TCounted> p = new TCounted;
  Ref<TCounted> q = new TCounted;
  p->next = q;
  q->next = new TCounted;
  // p is dropped here; the stack words that held it are overwritten before the pass.
}

TEST_F(CollectorTest, ChainIsFreedInOnePass) {
  int before = AllocatedBytes();
  destroyedCount = 0;
  MakeChain();
  CleanPass();
  EXPECT_EQ(destroyedCount, 3);
  EXPECT_EQ(LastReclaimObjects(), 3);
  EXPECT_EQ(AllocatedBytes(), before);
  EXPECT_EQ(ReclaimQueueLength(), 0);
}

TCounted* cycleHead = nullptr;  // a raw pointer: not a counted reference

__attribute__((noinline)) void MakeCycle() {
  Ref<TCounted> p = new TCounted;
  Ref<TCounted> q = new TCounted;
  p->next = q;
  q->next = p;
  cycleHead = p.Get();
}

__attribute__((noinline)) void BreakCycle() { cycleHead->next = nullptr; }

TEST_F(CollectorTest, CycleIsNeverFreed) {
  int before = AllocatedBytes();
  destroyedCount = 0;
  MakeCycle();
  for (int i = 0; i < 3; ++i) CleanPass();
  EXPECT_EQ(destroyedCount, 0);
  EXPECT_EQ(AllocatedBytes() - before, 2 * static_cast<int>(sizeof(TCounted)));
  BreakCycle();
  CleanPass();
  EXPECT_EQ(destroyedCount, 2);
  EXPECT_EQ(AllocatedBytes(), before);
}

__attribute__((noinline)) void MakeProbe() { new TProbe; }

TEST_F(CollectorTest, ModeThreeCollectsBeforeEveryAllocation) {
  ReclaimModeGuard mode(3);
  bool destroyed = false;
  MakeUnreferenced(&destroyed);
  ClobberStack();
  EXPECT_FALSE(destroyed);
  MakeProbe();  // the pass before this allocation frees the first probe
  EXPECT_TRUE(destroyed);
  bool second = false;
  MakeUnreferenced(&second);
  ClobberStack();
  String text = "x";  // strings are objects too
  EXPECT_TRUE(second);
}

TEST_F(CollectorTest, ModeZeroOnlyCollectsOnRequest) {
  ReclaimModeGuard mode(0);
  bool destroyed = false;
  MakeUnreferenced(&destroyed);
  ClobberStack();
  for (int i = 0; i < 2000; ++i) MakeProbe();  // well past the queue threshold
  EXPECT_FALSE(destroyed);
  CleanPass();
  EXPECT_TRUE(destroyed);
}

TEST_F(CollectorTest, AutomaticModeCollectsWhenTheQueueOutgrowsTheThreshold) {
  bool destroyed = false;
  MakeUnreferenced(&destroyed);
  ClobberStack();
  int threshold = ReclaimThreshold();
  for (int i = 0; i < threshold + 10 && !destroyed; ++i) MakeProbe();
  EXPECT_TRUE(destroyed);
  EXPECT_LE(ReclaimQueueLength(), threshold + 1);
}

TEST_F(CollectorTest, StatisticsLineWithBitFour) {
  ReclaimModeGuard mode(5);
  MakeProbe();
  ClobberStack();
  testing::internal::CaptureStdout();
  ReclaimMemory();
  std::string out = testing::internal::GetCapturedStdout();
  char expected[64];
  std::snprintf(expected, sizeof expected, "GC collectMem: memFreed=%i, time=", LastReclaimBytes());
  EXPECT_EQ(out.rfind(expected, 0), 0u) << out;
  EXPECT_NE(out.find("ms, objsFreed=" + std::to_string(LastReclaimObjects()) + ", objsScanned="), std::string::npos)
      << out;
  EXPECT_NE(out.find(", objsLive="), std::string::npos) << out;
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST_F(CollectorTest, NoStatisticsWithoutBitFour) {
  testing::internal::CaptureStdout();
  CleanPass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(CollectorTest, ModeThreeWithBitFourPrintsOnEveryCreation) {
  ReclaimModeGuard mode(7);
  testing::internal::CaptureStdout();
  MakeProbe();
  MakeProbe();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

// A count lowered without a matching store loses the queued mark; the pass
// reports the object and leaves it alone.
// The address is kept in a global: a stack word holding it would make the
// object a root, and a root's raised count hides the lost mark.
std::uintptr_t badAddress = 0;

__attribute__((noinline)) void MakeBadRefs() {
  auto* probe = new TProbe;
  probe->Release();
  badAddress = reinterpret_cast<std::uintptr_t>(probe);
}

__attribute__((noinline)) void MakeBadString() {
  TStringBody* body = String("hello").Body();
  body->Release();
  badAddress = reinterpret_cast<std::uintptr_t>(body);
}

TEST_F(CollectorTest, BadRefsArePrintedAndThePassGoesOn) {
  bool destroyed = false;
  MakeBadRefs();
  MakeUnreferenced(&destroyed);
  testing::internal::CaptureStdout();
  CleanPass();
  std::string out = testing::internal::GetCapturedStdout();
  char expected[64];
  std::snprintf(expected, sizeof expected, "bad refs:obj=$%" PRIxPTR " refs=$7fffffff\n", badAddress);
  EXPECT_EQ(out, expected);
  EXPECT_TRUE(destroyed);  // the rest of the queue is still handled

  MakeBadString();
  testing::internal::CaptureStdout();
  CleanPass();
  out = testing::internal::GetCapturedStdout();
  std::snprintf(expected, sizeof expected, "bad refs:obj=$%" PRIxPTR " refs=$7fffffff\n", badAddress);
  EXPECT_EQ(out, std::string(expected) + "String:hello\n");
}

// The block of `new T(args)` exists before the arguments are evaluated, and an
// argument may start a pass. The half-made block must not be taken for an
// object (its bytes are stale), or it would be queued twice.
struct TTakesText : TObject {
  explicit TTakesText(const String& text) : text(text) {}
  String text;
};

__attribute__((noinline)) void MakeWithAllocatingArgument(bool* destroyed) {
  MakeUnreferenced(destroyed);  // freed blocks of this size class are reused below
  ClobberStack();
  Ref<TTakesText> made = new TTakesText(String("argument"));
  EXPECT_EQ(made->text, "argument");
}

TEST_F(CollectorTest, AllocationDuringConstructorArgumentsIsSafe) {
  ReclaimModeGuard mode(3);
  for (int i = 0; i < 50; ++i) {
    bool destroyed = false;
    MakeWithAllocatingArgument(&destroyed);
    CleanPass();
    EXPECT_TRUE(destroyed);
  }
  testing::internal::CaptureStdout();
  CleanPass();
  CleanPass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no "bad refs"
}

struct TThrows : TObject {
  explicit TThrows(int) { throw TRuntimeError("constructor failed"); }
  Ref<TObject> field;
};

int FailingArgument() { throw TRuntimeError("argument failed"); }

TEST_F(CollectorTest, FailedConstructionReturnsTheBlock) {
  int before = AllocatedBytes();
  int queued = ReclaimQueueLength();
  EXPECT_THROW(new TThrows(1), TRuntimeError);
  EXPECT_THROW(new TThrows(FailingArgument()), TRuntimeError);
  EXPECT_EQ(AllocatedBytes(), before);
  CleanPass();  // the failed object is not in the queue any more
  EXPECT_GE(queued, 0);
  EXPECT_EQ(AllocatedBytes(), before);
}

// Releasing and freeing run inside destructors, where an exception ends the
// program: they must not be able to raise at all.
static_assert(noexcept(std::declval<TObject&>().Release()));
static_assert(noexcept(std::declval<Ref<TObject>&>().~Ref()));
static_assert(noexcept(TObject::operator delete(nullptr, 0)));

struct TThrowsWhenDestroyed : TObject {
  ~TThrowsWhenDestroyed() override { throw TRuntimeError("destructor failed"); }
  char payload[24] = {};
};

__attribute__((noinline)) void MakeQueueWithAThrower(bool* before, bool* after) {
  MakeUnreferenced(before);
  new TThrowsWhenDestroyed();
  new TThrowsWhenDestroyed();
  MakeUnreferenced(after);
}

TEST_F(CollectorTest, ADestructorThatRaisesIsReportedAndThePassGoesOn) {
  std::vector<std::string> errors;
  SetLogSink([&](LogLevel level, std::string_view message) {
    if (level == LogLevel::Error) errors.emplace_back(message);
  });
  int allocated = AllocatedBytes();
  bool before = false, after = false;
  MakeQueueWithAThrower(&before, &after);
  EXPECT_NO_THROW(CleanPass());
  SetLogSink(nullptr);
  EXPECT_TRUE(before);
  EXPECT_TRUE(after);
  EXPECT_EQ(AllocatedBytes(), allocated);  // the throwers' blocks are freed too
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("destructor failed"), std::string::npos) << errors[0];
}

TEST_F(CollectorTest, FreeingABlockTheBitmapDoesNotHoldIsReportedNotRaised) {
  std::vector<std::string> errors;
  SetLogSink([&](LogLevel level, std::string_view message) {
    if (level == LogLevel::Error) errors.emplace_back(message);
  });
  int allocated = AllocatedBytes();
  void* block = AllocateBlock(48);
  TObject::operator delete(block, 48);
  SetLogSink(nullptr);
  EXPECT_EQ(AllocatedBytes(), allocated);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("membit not set"), std::string::npos) << errors[0];
}

// Many releases in a row with no object made in between: the queue's room
// was reserved when the objects were made.
TEST_F(CollectorTest, ReleasingManyObjectsAtOnceNeedsNoNewRoom) {
  ReclaimModeGuard mode(0);
  std::vector<Ref<TObject>> held;
  for (int i = 0; i < 5000; ++i) held.emplace_back(new TCounted());
  CleanPass();  // the queue is empty now, every object held
  destroyedCount = 0;
  held.clear();
  EXPECT_EQ(ReclaimQueueLength(), 5000);
  CleanPass();
  EXPECT_GE(destroyedCount, 4990);  // a stray stack word may keep one or two
}

TEST_F(CollectorTest, NullRefRaises) {
  Ref<TProbe> empty;
  try {
    empty->next = nullptr;
    FAIL();
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to access field or method of Null object");
  }
  EXPECT_THROW(*empty, TRuntimeError);
}

TEST_F(CollectorTest, StoringOverItselfKeepsTheObject) {
  Ref<TProbe> probe = new TProbe;
  CleanPass();
  Ref<TProbe>& same = probe;
  probe = same;  // retain first, release second
  EXPECT_EQ(probe->RefCount(), 1u);
  Ref<TProbe>& alias = probe;
  probe = std::move(alias);
  EXPECT_EQ(probe->RefCount(), 1u);
}

TEST_F(CollectorTest, DefaultToStringAndCompare) {
  Ref<TProbe> a = new TProbe, b = new TProbe;
  char text[32];
  std::snprintf(text, sizeof text, "%p", static_cast<void*>(a.Get()));
  EXPECT_EQ(a->ToString(), String(text));
  EXPECT_EQ(a->Compare(b.Get()), reinterpret_cast<std::intptr_t>(a.Get()) - reinterpret_cast<std::intptr_t>(b.Get()));
  EXPECT_EQ(a->Compare(a.Get()), 0);
}

__attribute__((noinline)) void UseArray() {
  Array<Ref<TObject>> items = NewArray<Ref<TObject>>(3);
  items[0] = new TProbe;
  EXPECT_EQ(items->Length(), 3);
  EXPECT_TRUE(items[2].IsNull());
  try {
    items[3] = nullptr;
    FAIL();
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to index array element beyond array length");
  }
  EXPECT_THROW(items[-1], TRuntimeError);
}

TEST_F(CollectorTest, ArraysAreCountedAndChecked) {
  int before = AllocatedBytes();
  UseArray();
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

TEST_F(CollectorTest, PassesAreMainThreadOnly) {
  EXPECT_GE(ReclaimBitmapPages(), 1);
  int result = -1;
  std::thread other([&] { result = ReclaimMemory(); });
  other.join();
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace cvx
