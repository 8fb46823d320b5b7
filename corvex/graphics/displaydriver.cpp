// The data-type side of a display driver: a graphics object is written as the
// four settings that recreate it, and reading them back opens the display.
#include "corvex/graphics/graphics.h"
#include "corvex/stream/stream.h"

namespace cvx {

namespace {

// Little-endian 32-bit values through any stream; byte streams use their own
// typed operations (an endian view may change the byte order). As with those,
// bytes missing at the end of the data read as zero.
std::int32_t ReadInt(TStreamBase* stream) {
  if (auto* bytes = dynamic_cast<TByteStream*>(stream)) return bytes->ReadInt32();
  unsigned char b[4] = {0, 0, 0, 0};
  for (std::int32_t got = 0; got < 4 && !stream->AtEnd();) {
    std::int32_t n = stream->Read(b + got, 4 - got);
    if (n <= 0) throw TStreamReadError();
    got += n;
  }
  return static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

void WriteInt(TStreamBase* stream, std::int32_t value) {
  if (auto* bytes = dynamic_cast<TByteStream*>(stream)) return bytes->WriteInt32(value);
  auto u = static_cast<std::uint32_t>(value);
  unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  for (std::int32_t put = 0; put < 4;) {
    std::int32_t n = stream->Write(b + put, 4 - put);
    if (n <= 0) throw TStreamWriteError();
    put += n;
  }
}

}  // namespace

Ref<TDataType> TGraphics::DataTypeOf() { return Ref<TDataType>(OwnerDriver()); }

String TDisplayDriver::TypeName() { return "CVX.Graphics.TGraphics"_s; }

Ref<TObject> TDisplayDriver::ReadData(TStreamBase* stream) {
  if (!stream) ThrowNullObjectError();
  std::int32_t width = ReadInt(stream);
  std::int32_t height = ReadInt(stream);
  std::int32_t depth = ReadInt(stream);
  std::int32_t hertz = ReadInt(stream);
  return Ref<TObject>(OpenGraphics(width, height, depth, hertz, 0));
}

void TDisplayDriver::WriteData(TObject* object, TStreamBase* stream) {
  auto* graphics = dynamic_cast<TGraphics*>(object);
  if (!graphics || !stream) ThrowNullObjectError();
  int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  graphics->QuerySettings(width, height, depth, hertz, flags);
  WriteInt(stream, width);
  WriteInt(stream, height);
  WriteInt(stream, depth);
  WriteInt(stream, hertz);
}

void TDisplayDriver::AfterRead(TObject*, TStreamBase*) {}

}  // namespace cvx
