// Helpers for tests that depend on the collector's conservative stack scan.
// A pointer that a test wants freed must not linger in any stack word the
// scan reaches, so objects are made in frames that have returned and the
// stack below the caller is overwritten before the pass.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {
// Failure messages show strings as text.
inline void PrintTo(const String& text, std::ostream* out) { *out << '"' << text.ToUtf8() << '"'; }
}  // namespace cvx

namespace cvx::testing_support {

// Overwrites the stack below the caller (where returned frames left their words).
// Not instrumented: the sanitizer's red zones around the array would be left
// unwritten and keep old words.
__attribute__((noinline, no_sanitize_address)) inline void ClobberStack() {
  volatile std::uintptr_t scratch[2048];
  for (auto& word : scratch) word = 0;
  asm volatile("" ::: "memory");
}

// A pass that cannot see words left behind by the test's helper frames. It is
// forced inline: a frame of its own would sit where the helpers' frames were,
// and its unused slots would still hold their words.
__attribute__((always_inline)) inline int CleanPass() {
  ClobberStack();
  return ReclaimMemory();
}

// Runs passes until nothing more is freed, so a test starts from a quiet heap.
__attribute__((always_inline)) inline void Settle() {
  for (int i = 0; i < 8 && CleanPass() > 0;) ++i;
  CleanPass();
}

// Tests that compare AllocatedBytes start from a quiet heap. The passes run in
// SetUp: its frame is small, so the words that the previous test left on the
// stack lie below it and are overwritten, while a test body's own large frame
// would still hold them.
class QuietHeap : public ::testing::Test {
 protected:
  void SetUp() override { Settle(); }
};

// Restores the collector mode when a test ends, even when it fails.
class ReclaimModeGuard {
 public:
  explicit ReclaimModeGuard(int mode) : saved_(ReclaimMode()) { SetReclaimMode(mode); }
  ~ReclaimModeGuard() { SetReclaimMode(saved_); }

 private:
  int saved_;
};

}  // namespace cvx::testing_support
