// Images and their lazily made driver frames.
#include "corvex/vex2d/image.h"

#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/list.h"
#include "corvex/stream/stream.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx {

namespace {

// Images are written as width, height, flags and mask colour (32-bit ints),
// the handle (32-bit floats), then the pixmap array: its length and every
// entry as an object of the data stream (a missing pixmap as the null object).
class TImageDataType final : public TDataType {
 public:
  String TypeName() override { return "cvx.vex2d.TImage"_s; }

  Ref<TObject> ReadData(TStreamBase* base) override {
    auto* stream = dynamic_cast<TByteStream*>(base);
    if (!stream) throw TStreamReadError();
    Ref<TImage> image(new TImage());
    image->width = stream->ReadInt32();
    image->height = stream->ReadInt32();
    image->flags = stream->ReadInt32();
    image->maskRed = stream->ReadInt32();
    image->maskGreen = stream->ReadInt32();
    image->maskBlue = stream->ReadInt32();
    image->handleX = stream->ReadFloat32();
    image->handleY = stream->ReadFloat32();
    std::int32_t count = stream->ReadInt32();
    // A corrupt length must not make a huge allocation or loop forever; each
    // entry needs at least one byte of the stream.
    if (count < 0) count = 0;
    Ref<TList> read = NewList();
    for (std::int32_t i = 0; i < count; ++i) read->PushBack(stream->ReadSerialized());
    image->pixmaps = NewArray<Ref<TPixmap>>(count);
    std::int32_t i = 0;
    for (auto cursor = read->Cursor(); cursor->HasMore(); ++i) {
      (*image->pixmaps)[i] = RefCast<TPixmap>(cursor->NextItem());
    }
    image->frames = NewArray<Ref<TImageFrame>>(count);
    image->sequences = NewArray<int>(count);
    return image;
  }

  void WriteData(TObject* object, TStreamBase* base) override {
    auto* stream = dynamic_cast<TByteStream*>(base);
    auto* image = dynamic_cast<TImage*>(object);
    if (!stream) throw TStreamWriteError();
    if (!image) ThrowNullObjectError();
    stream->WriteInt32(image->width);
    stream->WriteInt32(image->height);
    stream->WriteInt32(image->flags);
    stream->WriteInt32(image->maskRed);
    stream->WriteInt32(image->maskGreen);
    stream->WriteInt32(image->maskBlue);
    stream->WriteFloat32(image->handleX);
    stream->WriteFloat32(image->handleY);
    const std::int32_t count = image->pixmaps ? image->pixmaps->Length() : 0;
    stream->WriteInt32(count);
    for (std::int32_t i = 0; i < count; ++i) stream->WriteSerialized((*image->pixmaps)[i].Get());
  }
};

Ref<TDataType> gImageType;

Ref<TPixmap> PixmapOf(const Ref<TObject>& source) {
  if (auto pixmap = RefCast<TPixmap>(source)) return pixmap;
  if (!source) return nullptr;
  return PixmapLoad(source);
}

template <class T>
T* Need(T* object) {
  if (!object) ThrowNullObjectError();
  return object;
}

int FlagsOrDefault(int flags) { return flags == -1 ? GetDefaultImageFlags() : flags; }

}  // namespace

void InitImages() {
  static bool done = false;
  if (done) return;
  done = true;
  InitList();
  gImageType = new TImageDataType();
}

TDataType* ImageDataType() {
  InitImages();
  return gImageType.Get();
}

Ref<TDataType> TImage::DataTypeOf() { return ImageDataType(); }

Ref<TImageFrame> TImage::FrameFor(int index) {
  const int sequence = GraphicsSequence();
  if ((*sequences)[index] == sequence) return (*frames)[index];
  (*sequences)[index] = sequence;
  Ref<TPixmap> pixmap = LockPixmap(index, 1, 0);
  // Dropping the old frame releases it; a GL frame deletes its texture only
  // when it belongs to the present display.
  (*frames)[index] = nullptr;
  TVex2DDriver* driver = CurrentVex2DDriver();
  if (!driver) ThrowNullObjectError();
  (*frames)[index] = driver->CreateFrame(pixmap.Get(), flags);
  return (*frames)[index];
}

Ref<TPixmap> TImage::LockPixmap(int index, int /*read*/, int write) {
  if (write != 0) {
    (*sequences)[index] = 0;
    (*frames)[index] = nullptr;
  }
  if (!(*pixmaps)[index]) (*pixmaps)[index] = PixmapCreate(width, height, PIXFMT_RGBA8888, 4);
  return (*pixmaps)[index];
}

void TImage::StorePixmap(int index, const Ref<TPixmap>& pixmap) {
  Ref<TPixmap> stored = pixmap;
  if ((flags & ImageMasked) && stored && IsPixelFormat(stored->format) && PixelFormatAlphaBits[stored->format] == 0) {
    stored = PixmapMask(stored.Get(), maskRed, maskGreen, maskBlue);
  }
  (*pixmaps)[index] = stored;
  (*sequences)[index] = 0;
  (*frames)[index] = nullptr;
}

Ref<TImage> TImage::New(int width, int height, int frameCount, int flags, int maskRed, int maskGreen, int maskBlue) {
  Ref<TImage> image(new TImage());
  image->width = width;
  image->height = height;
  image->flags = flags;
  image->maskRed = maskRed;
  image->maskGreen = maskGreen;
  image->maskBlue = maskBlue;
  image->pixmaps = NewArray<Ref<TPixmap>>(frameCount);
  image->frames = NewArray<Ref<TImageFrame>>(frameCount);
  image->sequences = NewArray<int>(frameCount);
  return image;
}

Ref<TImage> TImage::FromSource(const Ref<TObject>& source, int flags, int maskRed, int maskGreen, int maskBlue) {
  Ref<TPixmap> pixmap = PixmapOf(source);
  if (!pixmap) return nullptr;
  Ref<TImage> image = New(pixmap->width, pixmap->height, 1, flags, maskRed, maskGreen, maskBlue);
  image->StorePixmap(0, pixmap);
  return image;
}

Ref<TImage> TImage::FromStrip(const Ref<TObject>& source, int cellWidth, int cellHeight, int firstCell, int cellCount,
                              int flags, int maskRed, int maskGreen, int maskBlue) {
  Ref<TPixmap> pixmap = PixmapOf(source);
  if (!pixmap) return nullptr;
  // Non-positive cell sizes would divide by zero; no cell fits then.
  if (cellWidth <= 0 || cellHeight <= 0 || firstCell < 0 || cellCount < 0) return nullptr;
  const int perRow = pixmap->width / cellWidth;
  const int rows = pixmap->height / cellHeight;
  // In 64 bits: a first cell near INT_MAX must not wrap round to a small count.
  const std::int64_t end = static_cast<std::int64_t>(firstCell) + cellCount;
  if (static_cast<std::int64_t>(perRow) * rows < end) return nullptr;
  Ref<TImage> image = New(cellWidth, cellHeight, cellCount, flags, maskRed, maskGreen, maskBlue);
  for (std::int64_t i = firstCell; i < end; ++i) {
    // Each cell lies inside the pixmap, so its corner fits an int.
    const int column = static_cast<int>(i % perRow), row = static_cast<int>(i / perRow);
    Ref<TPixmap> cell = pixmap->SubWindow(cellWidth * column, cellHeight * row, cellWidth, cellHeight)->Clone();
    image->StorePixmap(static_cast<int>(i - firstCell), cell);
  }
  return image;
}

Ref<TImage> OpenImage(const Ref<TObject>& source, int flags) {
  int r, g, b;
  GetImageMaskColor(r, g, b);
  Ref<TImage> image = TImage::FromSource(source, FlagsOrDefault(flags), r, g, b);
  if (image && GetAutoCentreHandle()) CentreImageHandle(image.Get());
  return image;
}
Ref<TImage> OpenImage(const String& url, int flags) { return OpenImage(Ref<TObject>(url), flags); }

Ref<TImage> OpenImageStrip(const Ref<TObject>& source, int cellWidth, int cellHeight, int firstCell, int cellCount,
                           int flags) {
  int r, g, b;
  GetImageMaskColor(r, g, b);
  Ref<TImage> image =
      TImage::FromStrip(source, cellWidth, cellHeight, firstCell, cellCount, FlagsOrDefault(flags), r, g, b);
  if (image && GetAutoCentreHandle()) CentreImageHandle(image.Get());
  return image;
}
Ref<TImage> OpenImageStrip(const String& url, int cellWidth, int cellHeight, int firstCell, int cellCount, int flags) {
  return OpenImageStrip(Ref<TObject>(url), cellWidth, cellHeight, firstCell, cellCount, flags);
}

Ref<TImage> NewImage(int width, int height, int frameCount, int flags) {
  int r, g, b;
  GetImageMaskColor(r, g, b);
  Ref<TImage> image = TImage::New(width, height, frameCount, FlagsOrDefault(flags) | ImageDynamic, r, g, b);
  if (GetAutoCentreHandle()) CentreImageHandle(image.Get());
  return image;
}

void CentreImageHandle(TImage* image) {
  Need(image);
  image->handleX = static_cast<float>(image->width) * 0.5f;
  image->handleY = static_cast<float>(image->height) * 0.5f;
}

void PlaceImageHandle(TImage* image, float x, float y) {
  Need(image);
  image->handleX = x;
  image->handleY = y;
}

int ImageWidthOf(TImage* image) { return Need(image)->width; }
int ImageHeightOf(TImage* image) { return Need(image)->height; }
Ref<TPixmap> LockImagePixmap(TImage* image, int frame, int read, int write) {
  return Need(image)->LockPixmap(frame, read, write);
}
void UnlockImagePixmap(TImage*, int) {}

}  // namespace cvx
