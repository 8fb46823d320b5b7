#include <gtest/gtest.h>

#include "corvex/event/hook.h"

namespace cvx {
namespace {

TEST(HookIdExhaustion, ExactlyTheIds0To255CanBeReservedThenEveryRequestFails) {
  for (int expected = 0; expected < kHookTableSize; ++expected) ASSERT_EQ(ReserveHookId(), expected);
  for (int attempt = 0; attempt < 3; ++attempt) {
    try {
      ReserveHookId();
      FAIL() << "expected \"Too many hook ids\"";
    } catch (const TRuntimeError& error) {
      EXPECT_STREQ(error.what(), "Too many hook ids");
    }
  }
  // The table itself still works for the ids already reserved.
  EXPECT_TRUE(CallHooks(255, nullptr).IsNull());
}

}  // namespace
}  // namespace cvx
