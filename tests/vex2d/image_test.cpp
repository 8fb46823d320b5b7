// Images: construction, strips, masking, lazily made driver frames.
#include "corvex/vex2d/image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/list.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/memorystream.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/vex2d/fake_driver.h"

namespace cvx {
namespace {

using testing::CallLog;

class Images : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDrawState(); }
};

// A sheet whose every pixel encodes its own position: red = x / 4, green = y / 4.
Ref<TPixmap> Sheet(int w, int h, int format) {
  Ref<TPixmap> p = PixmapCreate(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p->SetPixel(x, y, 0xFF000000u | (std::uint32_t(x / 4) << 16) | (std::uint32_t(y / 4) << 8));
  return p;
}

TEST_F(Images, NewMakesEmptyFramesAndNewImageAddsDynamic) {
  Ref<TImage> image = NewImage(64, 64, 2, 0);
  EXPECT_EQ(image->flags, ImageDynamic);
  ASSERT_EQ(image->pixmaps->Length(), 2);
  EXPECT_FALSE((*image->pixmaps)[0]);
  EXPECT_FALSE((*image->frames)[1]);
  EXPECT_EQ((*image->sequences)[1], 0);
  Ref<TPixmap> p = image->LockPixmap(1, 1, 1);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 64);
  EXPECT_EQ(p->height, 64);
  EXPECT_EQ(p->format, PIXFMT_RGBA8888);
  EXPECT_EQ(image->LockPixmap(1, 1, 0), p);  // allocated once
  EXPECT_EQ(NewImage(4, 4, 1, -1)->flags, ImageMasked + ImageFiltered + ImageDynamic);

  SetAutoCentreHandle(1);
  Ref<TImage> centred = NewImage(33, 20, 1, 0);
  EXPECT_EQ(centred->handleX, 16.5f);
  EXPECT_EQ(centred->handleY, 10.0f);
  EXPECT_EQ(ImageWidthOf(centred.Get()), 33);
  EXPECT_EQ(ImageHeightOf(centred.Get()), 20);
}

TEST_F(Images, StripCellsAreCutLeftToRightThenTopToBottom) {
  Ref<TPixmap> sheet = Sheet(512, 640, PIXFMT_RGBA8888);
  EXPECT_FALSE(OpenImageStrip(Ref<TObject>(sheet), 128, 128, 0, 22, 0));
  EXPECT_FALSE(OpenImageStrip(Ref<TObject>(sheet), 128, 128, 1, 20, 0));
  Ref<TImage> strip = OpenImageStrip(Ref<TObject>(sheet), 128, 128, 0, 20, 0);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->width, 128);
  EXPECT_EQ(strip->pixmaps->Length(), 20);
  // Cell 5 is cut from (128, 128): its first pixel encodes (128, 128).
  Ref<TPixmap> cell5 = strip->LockPixmap(5, 1, 0);
  EXPECT_EQ(cell5->GetPixel(0, 0), 0xFF202000u);
  EXPECT_EQ(cell5->GetPixel(127, 127), 0xFF3F3F00u);
  // Cells are deep copies: changing the sheet leaves them alone.
  sheet->SetPixel(128, 128, 0);
  EXPECT_EQ(cell5->GetPixel(0, 0), 0xFF202000u);

  Ref<TImage> later = TImage::FromStrip(Ref<TObject>(sheet), 128, 128, 18, 2, 0, 0, 0, 0);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->LockPixmap(1, 1, 0)->GetPixel(0, 0), 0xFF608000u);  // cell 19 at (384, 512)
  // Partial cells at the edges are ignored; bad cell sizes give null, not a crash.
  EXPECT_FALSE(TImage::FromStrip(Ref<TObject>(Sheet(250, 100, PIXFMT_RGBA8888)), 100, 100, 0, 3, 0, 0, 0, 0));
  EXPECT_FALSE(TImage::FromStrip(Ref<TObject>(sheet), 0, 128, 0, 1, 0, 0, 0, 0));
  // Cell numbers whose end lies beyond the int range hold no cells either.
  EXPECT_FALSE(TImage::FromStrip(Ref<TObject>(sheet), 128, 128, std::numeric_limits<int>::max(), 1, 0, 0, 0, 0));
  EXPECT_FALSE(TImage::FromStrip(Ref<TObject>(sheet), 128, 128, 1, std::numeric_limits<int>::max(), 0, 0, 0, 0));
}

// A 4 x 2 uncompressed 24-bit BMP: top row red, green, blue, white; bottom
// row black, black, grey, black. Rows are stored bottom-up.
const unsigned char* TinyBmp(int& size) {
  static unsigned char bmp[54 + 24];
  static bool made = false;
  size = sizeof bmp;
  if (made) return bmp;
  made = true;
  auto put32 = [](unsigned char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(bmp + 2, sizeof bmp);
  put32(bmp + 10, 54);
  put32(bmp + 14, 40);
  put32(bmp + 18, 4);
  put32(bmp + 22, 2);
  bmp[26] = 1;
  bmp[28] = 24;
  put32(bmp + 34, 24);
  const unsigned char bottom[12] = {0, 0, 0, 0, 0, 0, 128, 128, 128, 0, 0, 0};
  const unsigned char top[12] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  std::memcpy(bmp + 54, bottom, 12);
  std::memcpy(bmp + 66, top, 12);
  return bmp;
}

TEST_F(Images, ImagesOpenFromUrls) {
  int size;
  const unsigned char* bmp = TinyBmp(size);
  EmbedRegister("vex2d-test/tiny.bmp"_s, bmp, size);
  Ref<TImage> image = OpenImage("incbin::vex2d-test/tiny.bmp"_s);  // default flags: masked, filtered
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->flags, ImageMasked + ImageFiltered);
  Ref<TPixmap> p = image->LockPixmap(0, 1, 0);
  EXPECT_EQ(p->GetPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(p->GetPixel(3, 0), 0xFFFFFFFFu);
  EXPECT_EQ(p->GetPixel(2, 1), 0xFF808080u);
  EXPECT_EQ(p->GetPixel(0, 1) >> 24, 0u);  // black is the mask colour
  EXPECT_EQ(p->GetPixel(3, 1) >> 24, 0u);

  Ref<TImage> strip = OpenImageStrip("incbin::vex2d-test/tiny.bmp"_s, 2, 1, 1, 3, 0);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->LockPixmap(0, 1, 0)->GetPixel(0, 0), 0xFF0000FFu);  // cell 1 at (2, 0)
  EXPECT_EQ(strip->LockPixmap(2, 1, 0)->GetPixel(0, 0), 0xFF808080u);  // cell 3 at (2, 1)
  EXPECT_EQ(strip->LockPixmap(1, 1, 0)->GetPixel(1, 0), 0xFF000000u);  // unmasked: flags 0
}

TEST_F(Images, UndecodableSourcesGiveNull) {
  EXPECT_FALSE(OpenImage("incbin::no such picture"_s));
  EXPECT_FALSE(OpenImage(Ref<TObject>()));
  EXPECT_FALSE(OpenImageStrip("incbin::nothing"_s, 8, 8, 0, 1));
}

TEST_F(Images, MaskedImagesMaskOnlyPixmapsWithoutAlpha) {
  SetImageMaskColor(255, 0, 255);
  Ref<TPixmap> rgb = PixmapCreate(3, 1, PIXFMT_RGB888);
  rgb->SetPixel(0, 0, 0xFFFF00FFu);
  rgb->SetPixel(1, 0, 0xFF102030u);
  rgb->SetPixel(2, 0, 0xFFFF00FFu);
  Ref<TImage> masked = OpenImage(Ref<TObject>(rgb), ImageMasked);
  ASSERT_TRUE(masked);
  EXPECT_EQ(masked->maskRed, 255);
  EXPECT_EQ(masked->maskBlue, 255);
  Ref<TPixmap> stored = masked->LockPixmap(0, 1, 0);
  EXPECT_NE(stored, rgb);
  EXPECT_EQ(stored->format, PIXFMT_RGBA8888);
  EXPECT_EQ(stored->GetPixel(0, 0) >> 24, 0u);
  EXPECT_EQ(stored->GetPixel(1, 0), 0xFF102030u);

  // A pixmap with alpha is stored unmasked and shared.
  Ref<TPixmap> rgba = PixmapCreate(1, 1, PIXFMT_RGBA8888);
  rgba->SetPixel(0, 0, 0xFFFF00FFu);
  Ref<TImage> keeps = OpenImage(Ref<TObject>(rgba), ImageMasked);
  EXPECT_EQ(keeps->LockPixmap(0, 1, 0), rgba);
  // Without the flag nothing is masked.
  EXPECT_EQ(OpenImage(Ref<TObject>(rgb), 0)->LockPixmap(0, 1, 0), rgb);
  // Default flags after activation are masked + filtered.
  EXPECT_EQ(OpenImage(Ref<TObject>(rgba), -1)->flags, ImageMasked + ImageFiltered);
}

TEST_F(Images, DriverFramesAreMadeOnceUntilInvalidated) {
  Ref<TImage> image = TImage::New(8, 8, 2, 6, 0, 0, 0);
  CallLog().clear();
  Ref<TImageFrame> f = image->FrameFor(0);
  EXPECT_EQ(image->FrameFor(0), f);
  BlitImage(image.Get(), 0, 0);
  EXPECT_EQ(CallLog(), std::vector<std::string>{"CreateFrame 6"});
  EXPECT_EQ((*image->sequences)[0], GraphicsSequence());

  // Writing through the lock or storing a pixmap invalidates that frame only.
  Ref<TImageFrame> other = image->FrameFor(1);
  image->LockPixmap(0, 1, 1);
  EXPECT_FALSE((*image->frames)[0]);
  EXPECT_EQ((*image->sequences)[0], 0);
  EXPECT_NE(image->FrameFor(0), f);
  EXPECT_EQ(image->FrameFor(1), other);
  image->StorePixmap(1, PixmapCreate(8, 8, PIXFMT_RGBA8888));
  EXPECT_NE(image->FrameFor(1), other);

  // A frame recorded under another display sequence is made again.
  (*image->sequences)[0] = GraphicsSequence() + 1;
  Ref<TImageFrame> before = (*image->frames)[0];
  EXPECT_NE(image->FrameFor(0), before);
}

TEST_F(Images, LockAndUnlockFunctions) {
  Ref<TImage> image = NewImage(5, 5, 1, 0);
  Ref<TPixmap> p = LockImagePixmap(image.Get());
  UnlockImagePixmap(image.Get());
  EXPECT_EQ(image->LockPixmap(0, 1, 0), p);
  PlaceImageHandle(image.Get(), -1, 2.5f);
  EXPECT_EQ(image->handleX, -1);
  EXPECT_EQ(image->handleY, 2.5f);
  EXPECT_EQ(image->DataTypeOf()->TypeName(), "cvx.vex2d.TImage"_s);
}

// A stream that keeps written objects aside and writes their index, standing
// in for a data stream's object framing.
class TObjectTape final : public TStreamRelay {
 public:
  explicit TObjectTape(TByteStream* inner) : TStreamRelay(inner), objects(NewList()) {}
  void WriteSerialized(TObject* object) override {
    if (!object) return WriteInt32(-1);
    WriteInt32(objects->Length());
    objects->PushBack(Ref<TObject>(object));
  }
  Ref<TObject> ReadSerialized() override {
    const std::int32_t index = ReadInt32();
    return index < 0 ? Ref<TObject>() : objects->ItemAt(index);
  }
  Ref<TList> objects;
};

TEST_F(Images, ImagesAreWrittenAndReadFieldByField) {
  std::vector<std::uint8_t> bytes(256);
  Ref<TObjectTape> tape(new TObjectTape(CreateMemoryStream(bytes.data(), 256, 1, 1).Get()));
  Ref<TImage> image = TImage::New(7, 9, 2, ImageMasked | ImageMipmapped, 10, 20, 30);
  PlaceImageHandle(image.Get(), 1.5f, -2.25f);
  Ref<TPixmap> first = image->LockPixmap(0, 1, 1);
  image->DataTypeOf()->WriteData(image.Get(), tape.Get());
  EXPECT_EQ(tape->Position(), 9 * 4 + 2 * 4);
  const std::int32_t expected[] = {7, 9, ImageMasked | ImageMipmapped, 10, 20, 30};
  for (int i = 0; i < 6; ++i) {
    std::int32_t v;
    std::memcpy(&v, &bytes[static_cast<std::size_t>(i * 4)], 4);
    EXPECT_EQ(v, expected[i]) << i;
  }
  tape->Seek(0);
  Ref<TImage> back = RefCast<TImage>(ImageDataType()->ReadData(tape.Get()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 7);
  EXPECT_EQ(back->height, 9);
  EXPECT_EQ(back->flags, ImageMasked | ImageMipmapped);
  EXPECT_EQ(back->maskGreen, 20);
  EXPECT_EQ(back->handleX, 1.5f);
  EXPECT_EQ(back->handleY, -2.25f);
  ASSERT_EQ(back->pixmaps->Length(), 2);
  EXPECT_EQ((*back->pixmaps)[0], first);
  EXPECT_FALSE((*back->pixmaps)[1]);  // a missing pixmap stays missing
  EXPECT_EQ(back->frames->Length(), 2);
  EXPECT_EQ((*back->sequences)[1], 0);
}

}  // namespace
}  // namespace cvx
