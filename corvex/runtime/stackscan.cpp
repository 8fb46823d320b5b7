// Passing over the stack words that cannot refer to an object, eight at a time.
#include "corvex/runtime/stackscan.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace cvx::detail {

CandidateFilter FilterFor(std::uintptr_t low, std::uintptr_t span) noexcept {
  unsigned shift = 0;
  while (shift < 63 && (std::uintptr_t{1} << shift) < span) ++shift;
  return CandidateFilter{low, shift};
}

__attribute__((no_sanitize_address)) const std::uintptr_t* NextCandidateBlockPlain(
    const std::uintptr_t* from, const std::uintptr_t* end, CandidateFilter filter) noexcept {
  const std::uintptr_t* p = from;
  for (; end - p >= kScanBlockWords; p += kScanBlockWords) {
    std::uintptr_t zeroes = 1;
    for (int i = 0; i < kScanBlockWords; ++i) zeroes &= ((p[i] & 15) | ((p[i] - filter.low) >> filter.shift)) != 0;
    if (!zeroes) return p;
  }
  return p;
}

#if defined(__x86_64__)

// SSE2 is part of every x86-64 processor. A word passes when both 32-bit
// halves of (word & 15) | ((word - low) >> shift) are zero; the result has
// all bits of a 64-bit lane set for a word that passes.
__attribute__((no_sanitize_address)) inline __m128i PassingSse2(const std::uintptr_t* at, __m128i low, __m128i shift) {
  const __m128i fifteen = _mm_set1_epi64x(15);
  __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i t = _mm_or_si128(_mm_and_si128(words, fifteen), _mm_srl_epi64(_mm_sub_epi64(words, low), shift));
  __m128i halves = _mm_cmpeq_epi32(t, _mm_setzero_si128());
  return _mm_and_si128(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1)));
}

__attribute__((no_sanitize_address)) const std::uintptr_t* NextCandidateBlockSse2(
    const std::uintptr_t* from, const std::uintptr_t* end, CandidateFilter filter) noexcept {
  const __m128i low = _mm_set1_epi64x(static_cast<long long>(filter.low));
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
  const std::uintptr_t* p = from;
  for (; end - p >= kScanBlockWords; p += kScanBlockWords) {
    __m128i any = _mm_or_si128(_mm_or_si128(PassingSse2(p, low, shift), PassingSse2(p + 2, low, shift)),
                               _mm_or_si128(PassingSse2(p + 4, low, shift), PassingSse2(p + 6, low, shift)));
    if (_mm_movemask_epi8(any)) return p;
  }
  return p;
}

__attribute__((target("avx2"), no_sanitize_address)) inline __m256i PassingAvx2(const std::uintptr_t* at, __m256i low,
                                                                                   __m128i shift) {
  const __m256i fifteen = _mm256_set1_epi64x(15);
  __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  __m256i t = _mm256_or_si256(_mm256_and_si256(words, fifteen), _mm256_srl_epi64(_mm256_sub_epi64(words, low), shift));
  return _mm256_cmpeq_epi64(t, _mm256_setzero_si256());
}

__attribute__((target("avx2"), no_sanitize_address)) const std::uintptr_t* NextCandidateBlockAvx2(
    const std::uintptr_t* from, const std::uintptr_t* end, CandidateFilter filter) noexcept {
  const __m256i low = _mm256_set1_epi64x(static_cast<long long>(filter.low));
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
  const std::uintptr_t* p = from;
  for (; end - p >= kScanBlockWords; p += kScanBlockWords) {
    __m256i any = _mm256_or_si256(PassingAvx2(p, low, shift), PassingAvx2(p + 4, low, shift));
    if (!_mm256_testz_si256(any, any)) return p;
  }
  return p;
}

bool HasAvx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

namespace {

using BlockFinder = const std::uintptr_t* (*)(const std::uintptr_t*, const std::uintptr_t*, CandidateFilter) noexcept;

BlockFinder ChooseFinder() noexcept { return HasAvx2() ? NextCandidateBlockAvx2 : NextCandidateBlockSse2; }

}  // namespace

const std::uintptr_t* NextCandidateBlock(const std::uintptr_t* from, const std::uintptr_t* end,
                                         CandidateFilter filter) noexcept {
  static const BlockFinder finder = ChooseFinder();
  return finder(from, end, filter);
}

#else

const std::uintptr_t* NextCandidateBlock(const std::uintptr_t* from, const std::uintptr_t* end,
                                         CandidateFilter filter) noexcept {
  return NextCandidateBlockPlain(from, end, filter);
}

#endif

}  // namespace cvx::detail
