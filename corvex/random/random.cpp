#include "corvex/random/random.h"

#include <algorithm>
#include <cmath>

namespace cvx {
namespace {

constexpr std::int32_t kInitialState = 4660;
constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1
constexpr std::int32_t kMultiplier = 48271;
constexpr std::int32_t kQuotient = 44488;  // kModulus / kMultiplier
constexpr std::int32_t kRemainder = 3399;  // kModulus % kMultiplier

std::int32_t state = kInitialState;

// Schrage's form of state * 48271 mod (2^31 - 1): neither product leaves 32 bits.
void Step() {
  state = (state % kQuotient) * kMultiplier - (state / kQuotient) * kRemainder;
  if (state < 0) state += kModulus;
}

}  // namespace

double NextRandomUnit() {
  Step();
  std::int32_t s1 = state;
  Step();
  std::int32_t s2 = state;
  // 27 high bits of the first step and 26 more from the second: 53 bits, exact in a double.
  return (static_cast<double>(s1 & 0x1FFFFFFC) + static_cast<double>(s2 & 0x1FFFFFF8) / 134217728.0) / 536870912.0;
}

float NextRandomFloat() {
  Step();
  return static_cast<float>(static_cast<double>(state & 0x0FFFFFF0) / 268435456.0);
}

double RandomReal(double a, double b) {
  double r = NextRandomUnit();
  const double low = b > a ? a : b, high = b > a ? b : a;
  const double value = low + r * (high - low);
  // A unit just below 1 still rounds up to the upper bound when the bounds are
  // large against their distance; the range leaves that bound out.
  if (value >= high && high > low) return std::nextafter(high, low);
  return value;
}

std::int32_t RandomInt(std::int32_t a, std::int32_t b) {
  double d = static_cast<double>(b) - a;
  double r = NextRandomUnit();
  // Rounding down (not toward zero) keeps negative ranges inside their bounds
  // and uniform; for non-negative results the two are the same. A unit just
  // below 1 can round the sum up to one past the top (beyond the int range for
  // a top of INT_MAX), which is the top.
  const double top = d > 0 ? b : a;
  if (d > 0) return static_cast<std::int32_t>(std::min(std::floor(a + r * (d + 1)), top));
  return static_cast<std::int32_t>(std::min(std::floor(b + r * (1 - d)), top));
}

void SeedRandom(std::int32_t seed) {
  state = seed & 0x7FFFFFFF;
  if (state == 0 || state == kModulus) state = kInitialState;
}

std::int32_t RandomSeed() { return state; }

void InitRandom() {
  static bool done = false;
  if (done) return;
  done = true;
}

}  // namespace cvx
