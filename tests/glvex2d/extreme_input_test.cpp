// The OpenGL 2D driver on bad and extreme arguments: nothing crashes, and the
// GL is left without errors in a sound state.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/glvex2d/gl_fixture.h"

namespace cvx {
namespace {

using testing::ResetDisplay;
using testing::Rgb;

class GLExtremeInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisplay();
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override { SetDrawLineWidth(1); }
};

// The number of lit rows of column x between rows 30 and 70.
int LitRows(int x) {
  int lit = 0;
  for (int y = 30; y < 70; ++y) lit += Rgb(x, y) != 0 ? 1 : 0;
  return lit;
}

TEST_F(GLExtremeInput, LineWidthsThatAreNotPositiveDrawTheThinnestLines) {
  SetDrawLineWidth(5);
  StrokeLine(20, 50, 60, 50, 0);
  EXPECT_EQ(LitRows(40), 5);
  for (float width : {0.0f, -3.0f, -std::numeric_limits<float>::infinity(), std::nanf("")}) {
    ResetDisplay();
    SetDrawLineWidth(5);
    SetDrawLineWidth(width);
    StrokeLine(20, 50, 60, 50, 0);
    EXPECT_EQ(LitRows(40), 1) << width;
    // The width is kept as set; the GL got no argument it refuses.
    EXPECT_TRUE(GetDrawLineWidth() == width || (std::isnan(width) && std::isnan(GetDrawLineWidth())));
    FlushGLVex2D();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << width;
  }
}

}  // namespace
}  // namespace cvx
