/// @file
/// Pixmaps: rectangles of pixels in main memory, in one of the formats of
/// pixelformat.h, and the registry of image decoders behind PixmapLoad.
///
/// Rows run top to bottom: row y starts at pixels + y * pitch, and pixel x of a
/// row lies x * bytes-per-pixel bytes after the row start. Nothing here touches
/// the bytes between the end of one row's pixels and the start of the next.
///
/// A pixmap with capacity >= 0 allocated its pixels itself (16-byte aligned,
/// from the system heap, not the object heap) and frees them when it is
/// destroyed; capacity -1 means the memory is borrowed (a caller's buffer or
/// another pixmap's rows). A window made by SubWindow shares its parent's rows
/// and keeps the parent alive as long as the window lives.
///
/// Coordinates and sizes are not checked against the pixmap: callers stay
/// inside its bounds.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixelformat.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"
#include "corvex/runtime/string.h"

namespace cvx {

class TByteStream;

/// A rectangle of pixels in main memory in one of the PIXFMT formats
/// (pixelformat.h); rows are stored top first.
class TPixmap : public TSerializable {
 public:
  std::uint8_t* pixels = nullptr;  ///< first byte of pixel (0, 0)
  std::int32_t width = 0;          ///< pixels per row
  std::int32_t height = 0;         ///< rows
  std::int32_t pitch = 0;          ///< bytes from one row start to the next
  std::int32_t format = 0;         ///< PIXFMT_I8 .. PIXFMT_RGBA8888
  std::int32_t capacity = 0;       ///< bytes owned at pixels, or -1 when borrowed

  TPixmap() = default;
  ~TPixmap() override;

  /// The "CVX.Pixmap.TPixmap" data type.
  Ref<TDataType> DataTypeOf() override;
  /// pixels + y * pitch + x * bytes-per-pixel.
  virtual std::uint8_t* PixelAddress(int x, int y);
  /// A pixmap over the rectangle's rows of this one (same pitch and format).
  virtual Ref<TPixmap> SubWindow(int x, int y, int w, int h);
  /// A deep copy with 4-byte row alignment.
  virtual Ref<TPixmap> Clone();
  /// Converts every row of source into this pixmap at (x, y). No clipping. A
  /// source whose rows share memory with the rectangle written (this pixmap
  /// itself, a window over its rows) is copied first, so that every row is
  /// read before it is overwritten.
  virtual void PasteFrom(TPixmap* source, int x, int y);
  /// A new pixmap (4-byte row alignment) with every pixel converted.
  virtual Ref<TPixmap> ConvertTo(int format);
  /// The pixel as ARGB: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7.
  /// 0 for a pixmap without a valid format.
  virtual std::uint32_t GetPixel(int x, int y);
  /// Stores an ARGB value in the pixmap's format (grey = (r + g + b) / 3).
  virtual void SetPixel(int x, int y, std::uint32_t argb);

  /// pitch = width * bytes-per-pixel rounded up to a multiple of align;
  /// capacity = pitch * height. The pixel bytes are not cleared. A negative
  /// size, a format outside 1..6, or a pitch or a total of more than 2^31 - 1
  /// bytes raise a runtime error ("Pixmap too large"), except that a pixmap
  /// without rows whose pitch would not fit gets pitch 0; an align below 1
  /// counts as 1.
  static Ref<TPixmap> Allocate(int width, int height, int format, int align);
  /// A pixmap over memory the caller owns (capacity -1).
  static Ref<TPixmap> WrapPixels(void* pixels, int width, int height, int pitch, int format);

  /// The pixmap whose rows a window borrows, or null.
  TPixmap* Parent() const noexcept { return parent_.Get(); }

 private:
  Ref<TPixmap> parent_;
};




/// @name Module functions
/// Each runs the TPixmap operation of the same name; a null pixmap raises the
/// null object error.
/// @{

/// A new pixmap (TPixmap::Allocate).
Ref<TPixmap> PixmapCreate(int width, int height, int format, int align = 4);
/// A pixmap over caller memory (TPixmap::WrapPixels).
Ref<TPixmap> PixmapCreateStatic(void* pixels, int width, int height, int pitch, int format);
/// A deep copy.
Ref<TPixmap> PixmapClone(const Ref<TPixmap>& pixmap);
/// A copy in another format.
Ref<TPixmap> PixmapConvert(const Ref<TPixmap>& pixmap, int format);
/// @{
/// The pixmap's width, height, pitch and format.
int PixmapGetWidth(const Ref<TPixmap>& pixmap);
int PixmapGetHeight(const Ref<TPixmap>& pixmap);
int PixmapGetPitch(const Ref<TPixmap>& pixmap);
int PixmapGetFormat(const Ref<TPixmap>& pixmap);
/// @}
/// The address of pixel (x, y); no range check.
std::uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int x, int y);
/// A pixmap over a rectangle of the pixmap's rows.
Ref<TPixmap> PixmapSubWindow(const Ref<TPixmap>& pixmap, int x, int y, int w, int h);
/// @{
/// Read / write one pixel as ARGB; no range check.
std::uint32_t PixmapGetPixel(const Ref<TPixmap>& pixmap, int x, int y);
void PixmapSetPixel(const Ref<TPixmap>& pixmap, int x, int y, std::uint32_t argb);
/// @}

/// A new RGBA8888 pixmap in which pixels of the key colour become transparent
/// and take the average colour of their non-key neighbours (3 x 3 block); all
/// other pixels become opaque.
Ref<TPixmap> PixmapMask(const Ref<TPixmap>& pixmap, int red, int green, int blue);
/// @{
/// New mirrored pixmaps in the same format: left-right, top-bottom.
Ref<TPixmap> PixmapFlipX(const Ref<TPixmap>& pixmap);
Ref<TPixmap> PixmapFlipY(const Ref<TPixmap>& pixmap);
/// @}
/// A new pixmap in the same format, resampled bilinearly with pixel centres at
/// half-integers and the edges clamped. A source without pixels (width or
/// height 0) gives a result of all zero bytes.
Ref<TPixmap> PixmapResize(const Ref<TPixmap>& pixmap, int newWidth, int newHeight);
/// @}

// ---- Decoders ------------------------------------------------------------------

/// An image decoder. Constructing one links it in at the head of the decoder
/// list, where it stays; PixmapLoad asks the newest first.
class TPixmapDecoder : public TObject {
 public:
  TPixmapDecoder();
  /// The decoded pixmap, or null when the data is not of this decoder's kind.
  /// Never closes the stream. May raise a stream error.
  virtual Ref<TPixmap> DecodePixmap(TByteStream* stream) = 0;

  /// The next (older) decoder, or nullptr.
  TPixmapDecoder* Next() const noexcept { return next_.Get(); }

 private:
  Ref<TPixmapDecoder> next_;
};

/// The newest decoder (asked first), or nullptr.
TPixmapDecoder* FirstPixmapDecoder() noexcept;

/// @{
/// Opens url for reading (a path, a "protocol::path" url or a stream, which is
/// borrowed), then asks each decoder in turn from the stream's start position.
/// A stream error inside a decoder counts as a failed decode; other errors
/// propagate. Null for a url that does not open, a stream that cannot report
/// its position, or data no decoder accepts. The opened stream is closed.
Ref<TPixmap> PixmapLoad(const Ref<TObject>& url);
inline Ref<TPixmap> PixmapLoad(const String& url) { return PixmapLoad(Ref<TObject>(url)); }
/// @}

/// @name Decoding limits
/// The process-wide pixel limit. Decoders refuse images larger than this rather
/// than allocate without bound: each side at most kMaxDecodedSide pixels, and
/// at most PixmapDecodeLimit() pixels in all, 2^26 (64 Mi, 256 MiB as RGBA)
/// unless the program sets another. SetPixmapDecodeLimit takes effect for the
/// next decode; a value below 1 counts as 1. Pixmaps are also never larger than
/// 2^31 - 1 bytes, whatever the limit.
/// @{

/// The largest width or height a decoder accepts.
inline constexpr int kMaxDecodedSide = 32768;
/// The pixel limit until the program sets another.
inline constexpr int kDefaultPixmapDecodeLimit = 1 << 26;
/// @{
/// The pixel limit in force / sets it.
int PixmapDecodeLimit() noexcept;
void SetPixmapDecodeLimit(int pixels) noexcept;
/// @}
/// True when a decoder may allocate a width x height image.
bool PixmapDecodeSizeAllowed(std::int64_t width, std::int64_t height) noexcept;
/// @}

/// Decoders also refuse a header whose image would take far more memory than
/// the data behind it can fill, so that a few hostile bytes cannot claim a huge
/// allocation. Up to kPixmapUncheckedBytes a decoder allocates what the header
/// asks (a short file of that size still decodes, as far as its data goes);
/// past it the stream must still hold at least a quarter of the fewest bytes
/// that can encode such an image. Streams that cannot tell how much they still
/// hold (no position) are held to the pixel limit alone.
inline constexpr std::int64_t kPixmapUncheckedBytes = std::int64_t{4} << 20;
/// Size () - Position (), or -1 when the stream cannot tell.
std::int64_t StreamBytesLeft(TByteStream* stream);
/// True when a decoder may allocate allocationBytes for an image whose whole
/// data needs at least minimumDataBytes, with bytesLeft (-1: unknown) to come.
bool PixmapDataCanFill(std::int64_t bytesLeft, std::int64_t allocationBytes, std::int64_t minimumDataBytes) noexcept;

/// The pixmap module: the pixmap data type and the BMP decoder, the first
/// decoder registered (and so the last one asked).
void InitPixmap();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
