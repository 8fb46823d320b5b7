#include "corvex/event/hook.h"

#include <gtest/gtest.h>

#include <string>

#include "corvex/runtime/string.h"

namespace cvx {
namespace {

// Each callback appends its context's text to the trace.
std::string gTrace;

Ref<TObject> Record(int, TObject* data, TObject* context) {
  gTrace += String::FromObject(context).ToStd();
  return data;
}

Ref<TObject> RecordOther(int, TObject* data, TObject* context) {
  gTrace += "<" + String::FromObject(context).ToStd() + ">";
  return data;
}

Ref<TObject> ReplaceData(int, TObject*, TObject*) { return Ref<TObject>("replaced"_s); }

Ref<TObject> RecordData(int, TObject* data, TObject*) {
  gTrace += "[" + String::FromObject(data).ToStd() + "]";
  return data;
}

Ref<TObject> DetachSelf(int id, TObject* data, TObject*) {
  gTrace += "d";
  DetachHook(id, DetachSelf);
  return data;
}

Ref<TObject> Throwing(int, TObject*, TObject*) { throw TRuntimeError("hook failed"); }

class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gTrace.clear();
    id_ = ReserveHookId();
  }
  int id_ = -1;
};

TEST_F(HookTest, ChainRunsByDescendingPriorityAndAttachOrderWithinOne) {
  AttachHook(id_, Record, "P"_s.Body(), 0);
  AttachHook(id_, Record, "Q"_s.Body(), 10);
  AttachHook(id_, Record, "R"_s.Body(), 0);
  AttachHook(id_, Record, "S"_s.Body(), -5);
  AttachHook(id_, Record, "T"_s.Body(), 10);
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "QTPRS");
  // The chain itself is in that order, with the priorities kept.
  std::string priorities;
  for (Ref<THook> hook = HookChain(id_); hook; hook = hook->next) priorities += std::to_string(hook->priority) + " ";
  EXPECT_EQ(priorities, "10 10 0 0 -5 ");
}

TEST_F(HookTest, HookReturningAnotherObjectReplacesTheDataForLaterHooksAndTheCaller) {
  AttachHook(id_, RecordData, nullptr, 10);
  AttachHook(id_, ReplaceData, nullptr, 5);
  AttachHook(id_, RecordData, nullptr, 0);
  Ref<TObject> result = CallHooks(id_, "original"_s.Body());
  EXPECT_EQ(gTrace, "[original][replaced]");
  EXPECT_EQ(String::FromObject(result.Get()).ToStd(), "replaced");
}

TEST_F(HookTest, EmptyChainReturnsTheDataUnchanged) {
  String data = "same";
  Ref<TObject> result = CallHooks(id_, data.Body());
  EXPECT_EQ(result.Get(), data.Body());
  EXPECT_TRUE(HookChain(id_).IsNull());
}

TEST_F(HookTest, DetachOfATwiceAttachedFunctionRemovesOnlyItsFirstOccurrence) {
  AttachHook(id_, Record, "A"_s.Body(), 0);
  AttachHook(id_, RecordOther, "x"_s.Body(), 0);
  AttachHook(id_, Record, "B"_s.Body(), 0);
  DetachHook(id_, Record);
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "<x>B");
  gTrace.clear();
  DetachHook(id_, Record);
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "<x>");
  // Nothing attached with that function any more: a further detach is harmless.
  DetachHook(id_, Record);
  gTrace.clear();
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "<x>");
}

TEST_F(HookTest, DetachComparesTheFunctionNotTheContextAndCanRemoveTheHead) {
  AttachHook(id_, RecordOther, "head"_s.Body(), 100);
  AttachHook(id_, Record, "tail"_s.Body(), 0);
  DetachHook(id_, RecordOther);
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "tail");
}

TEST_F(HookTest, CallbackMayDetachItselfAndTheRestOfTheChainStillRuns) {
  AttachHook(id_, Record, "1"_s.Body(), 10);
  AttachHook(id_, DetachSelf, nullptr, 5);
  AttachHook(id_, Record, "2"_s.Body(), 0);
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "1d2");
  gTrace.clear();
  CallHooks(id_, nullptr);
  EXPECT_EQ(gTrace, "12");
}

TEST_F(HookTest, ExceptionLeavesTheChainAtOnce) {
  AttachHook(id_, Record, "before"_s.Body(), 10);
  AttachHook(id_, Throwing, nullptr, 5);
  AttachHook(id_, Record, "after"_s.Body(), 0);
  EXPECT_THROW(CallHooks(id_, nullptr), TRuntimeError);
  EXPECT_EQ(gTrace, "before");
}

TEST_F(HookTest, CallbackReceivesItsIdAndContext) {
  static int seenId = -1;
  static TObject* seenContext = nullptr;
  String context = "ctx";
  AttachHook(
      id_,
      [](int id, TObject* data, TObject* ctx) -> Ref<TObject> {
        seenId = id;
        seenContext = ctx;
        return data;
      },
      context.Body(), 0);
  CallHooks(id_, nullptr);
  EXPECT_EQ(seenId, id_);
  EXPECT_EQ(seenContext, context.Body());
}

TEST(HookObject, NewHookHasDefaultsAndAnUninitialisedCallback) {
  Ref<THook> hook = new THook();
  EXPECT_TRUE(hook->next.IsNull());
  EXPECT_EQ(hook->priority, 0);
  EXPECT_TRUE(hook->context.IsNull());
  try {
    hook->callback(0, nullptr, nullptr);
    FAIL() << "expected an error";
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to call uninitialized function pointer");
  }
}

TEST(HookIds, IdsOutsideTheTableAreRejectedWithTheIndexError) {
  EXPECT_THROW(CallHooks(256, nullptr), TRuntimeError);
  EXPECT_THROW(AttachHook(-1, Record, nullptr, 0), TRuntimeError);
  EXPECT_THROW(DetachHook(1000, Record), TRuntimeError);
}

TEST(HookIds, ReservedIdsAreConsecutive) {
  int first = ReserveHookId();
  int second = ReserveHookId();
  EXPECT_EQ(second, first + 1);
}

}  // namespace
}  // namespace cvx
