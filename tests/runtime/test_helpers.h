// Helpers for tests that depend on the collector's conservative stack scan.
// A pointer that a test wants freed must not linger in any stack word the
// scan reaches, so objects are made in frames that have returned and the
// stack below the caller is overwritten before the pass.
#pragma once

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
__attribute__((noinline)) inline void ClobberStack() {
  volatile std::uintptr_t scratch[2048];
  for (auto& word : scratch) word = 0;
  asm volatile("" ::: "memory");
}

// A pass that cannot see words left behind by the test's helper frames.
__attribute__((noinline)) inline int CleanPass() {
  ClobberStack();
  return ReclaimMemory();
}

// Runs passes until nothing more is freed, so a test starts from a quiet heap.
inline void Settle() {
  for (int i = 0; i < 8 && CleanPass() > 0;) ++i;
  CleanPass();
}

// Restores the collector mode when a test ends, even when it fails.
class ReclaimModeGuard {
 public:
  explicit ReclaimModeGuard(int mode) : saved_(ReclaimMode()) { SetReclaimMode(mode); }
  ~ReclaimModeGuard() { SetReclaimMode(saved_); }

 private:
  int saved_;
};

}  // namespace cvx::testing_support
