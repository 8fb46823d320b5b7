// A program that includes only the image header can keep and drop the pixmaps
// it hands out: the header brings the pixmap's definition with it.
#include "corvex/vex2d/image.h"

#include <gtest/gtest.h>

namespace cvx {
namespace {

TEST(ImageHeader, LockedPixmapIsUsableWithTheImageHeaderAlone) {
  Ref<TImage> image = NewImage(5, 3, 2, 0);
  Ref<TPixmap> pixmap = LockImagePixmap(image.Get(), 1);
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->width, 5);
  EXPECT_EQ(pixmap->height, 3);
  UnlockImagePixmap(image.Get(), 1);
  pixmap = nullptr;
  EXPECT_EQ(image->pixmaps->Length(), 2);
}

}  // namespace
}  // namespace cvx
