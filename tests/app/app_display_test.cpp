#include <gtest/gtest.h>

#include "corvex/app/app.h"
#include "corvex/glgraphics/glgraphics.h"
#include "corvex/graphics/graphics.h"

namespace cvx {
namespace {

TEST(StopCorvex, ShutsTheOpenedDisplay) {
  StartCorvex();
  ASSERT_TRUE(OpenGraphics(320, 240, 0, 60, 0));
  EXPECT_TRUE(OpenedGraphics());
  StopCorvex();
  EXPECT_FALSE(OpenedGraphics());
  EXPECT_FALSE(CurrentGraphics());
  // Started again, the display opens again.
  StartCorvex();
  EXPECT_TRUE(OpenGraphics(320, 240, 0, 60, 0));
  StopCorvex();
}

}  // namespace
}  // namespace cvx
