/// @file
/// The collector's first look at the words of the stack: most words are no
/// reference to an object (not a multiple of 16, or outside the address range
/// that holds objects), and blocks of them are passed over with vector
/// instructions where the processor has them.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx::detail {

// Words are looked at in blocks of this many.
inline constexpr int kScanBlockWords = 8;

// The filter a word must pass to be looked up in the allocation bitmap: a
// multiple of 16 with (word - low) >> shift == 0. `shift` is at most 63; the
// range it admits may be wider than the one holding objects, never narrower.
struct CandidateFilter {
  std::uintptr_t low = 0;
  unsigned shift = 0;

  bool Admits(std::uintptr_t word) const noexcept { return ((word & 15) | ((word - low) >> shift)) == 0; }
};

// The smallest filter that admits every multiple of 16 in [low, low + span).
CandidateFilter FilterFor(std::uintptr_t low, std::uintptr_t span) noexcept;

// The first block of kScanBlockWords words at or after `from` that holds a
// word the filter admits, or the first address from which fewer than a
// block's words are left before `end`. The words are read as they are (the
// stack's dead words too): this is not instrumented.
const std::uintptr_t* NextCandidateBlock(const std::uintptr_t* from, const std::uintptr_t* end,
                                         CandidateFilter filter) noexcept;

// The same without vector instructions, and (on x86-64) with SSE2 and with
// AVX2 alone; NextCandidateBlock uses the fastest the processor has. The AVX2
// one must only be called where HasAvx2() is true.
const std::uintptr_t* NextCandidateBlockPlain(const std::uintptr_t* from, const std::uintptr_t* end,
                                              CandidateFilter filter) noexcept;
#if defined(__x86_64__)
const std::uintptr_t* NextCandidateBlockSse2(const std::uintptr_t* from, const std::uintptr_t* end,
                                             CandidateFilter filter) noexcept;
const std::uintptr_t* NextCandidateBlockAvx2(const std::uintptr_t* from, const std::uintptr_t* end,
                                             CandidateFilter filter) noexcept;
bool HasAvx2() noexcept;
#endif

}  // namespace cvx::detail

#include "corvex/runtime/api_end.h"
