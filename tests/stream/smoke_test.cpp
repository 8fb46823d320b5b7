#include <gtest/gtest.h>

#include "corvex/stream/url.h"

namespace cvx {
TEST(StreamSmoke, Builds) { EXPECT_TRUE(OpenUrlStream(""_s, 1, 0).IsNull()); }
}  // namespace cvx
