/// @file
/// Byte-order views of a stream. TByteStream's numbers are little-endian (the
/// host's order); a swap stream reverses the bytes of every 16, 32 and 64-bit
/// value, giving the big-endian view. Bytes, lines, texts and objects pass
/// through unchanged. Also opened by the url protocols "bigendian" and
/// "littleendian" (bigendian::incbin::data.bin).
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A relay that reverses the bytes of every number it reads or writes: the
/// big-endian view of a stream.
class TSwapStream : public TStreamRelay {
 public:
  using TStreamRelay::TStreamRelay;

  int ReadUInt16() override;
  void WriteUInt16(int value) override;
  std::int32_t ReadInt32() override;
  void WriteInt32(std::int32_t value) override;
  std::int64_t ReadInt64() override;
  void WriteInt64(std::int64_t value) override;
  float ReadFloat32() override;
  void WriteFloat32(float value) override;
  double ReadFloat64() override;
  void WriteFloat64(double value) override;

  /// @{
  /// Reverse 2, 4 or 8 bytes in place.
  virtual void Swap2(void* address);
  virtual void Swap4(void* address);
  virtual void Swap8(void* address);
  /// @}

  /// Null for a null stream; otherwise a new swap stream over it. Closing the
  /// swap stream closes the stream it wraps.
  static Ref<TSwapStream> Create(TByteStream* stream);
  /// The big-endian view: Create (stream).
  static Ref<TByteStream> BigEndian(TByteStream* stream);
  /// The little-endian view: the stream itself, unwrapped.
  static Ref<TByteStream> LittleEndian(TByteStream* stream);
};

/// @{
/// TSwapStream::BigEndian and TSwapStream::LittleEndian.
Ref<TByteStream> BigEndianView(TByteStream* stream);
Ref<TByteStream> LittleEndianView(TByteStream* stream);
/// @}

/// The endian streams module: registers the "bigendian"/"littleendian" opener.
void InitEndianStreams();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
