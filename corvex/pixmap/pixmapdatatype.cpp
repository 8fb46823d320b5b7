#include "corvex/pixmap/pixmapdatatype.h"

#include <cstring>

#include "corvex/stream/stream.h"

namespace cvx {

namespace {

Ref<TDataType> pixmapType;

TByteStream* ByteStreamOf(TStreamBase* stream) {
  auto* bytes = stream ? stream->AsByteStream() : nullptr;
  if (!bytes) ThrowNullObjectError();
  return bytes;
}

}  // namespace

String TPixmapDataType::TypeName() { return "CVX.Pixmap.TPixmap"_s; }

Ref<TObject> TPixmapDataType::ReadData(TStreamBase* stream) {
  TByteStream* in = ByteStreamOf(stream);
  std::int32_t width = in->ReadInt32();
  std::int32_t height = in->ReadInt32();
  std::int32_t format = in->ReadInt32();
  bool empty = width == 0 || height == 0;
  if (!IsPixelFormat(format) || width < 0 || height < 0 || (!empty && !PixmapDecodeSizeAllowed(width, height))) {
    throw TRuntimeError("Invalid pixmap data");
  }
  Ref<TPixmap> pixmap = TPixmap::Allocate(width, height, format, 4);
  // A body cut short by the end of the stream leaves zero bytes, not heap garbage.
  std::memset(pixmap->pixels, 0, static_cast<std::size_t>(pixmap->capacity));
  // An empty pixmap has no rows to read: two billion rows of no bytes each
  // would otherwise be read one by one, and no end of data stops them. (Its
  // other side may be as large as it likes, so no row size is worked out.)
  if (empty) return pixmap;
  const int rowBytes = width * PixelFormatBytes[format];
  for (int y = 0; y < height; ++y) in->ReadExact(pixmap->PixelAddress(0, y), rowBytes);
  return pixmap;
}

void TPixmapDataType::WriteData(TObject* object, TStreamBase* stream) {
  auto* pixmap = As<TPixmap>(object);
  if (!pixmap) ThrowNullObjectError();
  TByteStream* out = ByteStreamOf(stream);
  out->WriteInt32(pixmap->width);
  out->WriteInt32(pixmap->height);
  out->WriteInt32(pixmap->format);
  if (pixmap->width <= 0 || pixmap->height <= 0) return;
  const int rowBytes = pixmap->width * PixelFormatSize(pixmap->format);
  for (int y = 0; y < pixmap->height; ++y) out->WriteExact(pixmap->PixelAddress(0, y), rowBytes);
}

TDataType* PixmapDataType() {
  InitPixmapDataType();
  return pixmapType.Get();
}

void InitPixmapDataType() {
  if (pixmapType) return;
  pixmapType = new TPixmapDataType();
}

Ref<TDataType> TPixmap::DataTypeOf() { return PixmapDataType(); }

}  // namespace cvx
