/// @file
/// Images: drawable pictures with one or more equally sized frames. Each frame
/// keeps its pixmap as the source of truth and turns it into a driver frame
/// (for OpenGL a texture) only when it is first drawn, and again whenever the
/// display has been reopened since (GraphicsSequence).
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// @name Image flags (a bit set)
/// @{
inline constexpr int ImageMasked = 1;     ///< mask colour becomes transparent (pixmaps without alpha)
inline constexpr int ImageFiltered = 2;   ///< bilinear magnification
inline constexpr int ImageMipmapped = 4;  ///< mipmaps and trilinear minification
inline constexpr int ImageDynamic = 8;    ///< made by NewImage
/// @}

/// One frame as the driver holds it.
class TImageFrame : public TObject {
 public:
  /// Draws the frame stretched over the local rectangle (x0, y0)-(x1, y1),
  /// through the driver's current matrix, translated by (tx, ty).
  virtual void Render(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
};

/// A drawable picture of one or more equally sized frames (see the file comment).
/// Frame indexes outside 0 to frames - 1 raise the array index error.
class TImage : public TSerializable {
 public:
  /// @{
  /// The size of every frame, in pixels.
  int width = 0, height = 0;
  /// @}
  /// The image flags (ImageMasked ...).
  int flags = 0;
  /// @{
  /// The colour that becomes transparent with ImageMasked.
  int maskRed = 0, maskGreen = 0, maskBlue = 0;
  /// @}
  /// @{
  /// The handle: the point of the image that lands on the drawing position.
  float handleX = 0, handleY = 0;
  /// @}
  /// Each frame's pixmap (null until locked or stored).
  Array<Ref<TPixmap>> pixmaps;
  /// Each frame's driver frame (null until first drawn).
  Array<Ref<TImageFrame>> frames;
  Array<int> sequences;  ///< GraphicsSequence each driver frame was made at; 0 = invalid

  Ref<TDataType> DataTypeOf() override;
  /// The driver frame of a frame index, made in the current graphics when needed.
  virtual Ref<TImageFrame> FrameFor(int index);
  /// The frame's pixmap, allocated (RGBA8888) when missing; write != 0
  /// invalidates the driver frame first.
  virtual Ref<TPixmap> LockPixmap(int index, int read, int write);
  /// Stores a frame's pixmap (masked first when needed) and invalidates its driver frame.
  virtual void StorePixmap(int index, const Ref<TPixmap>& pixmap);

  /// A new image of frameCount empty frames. Neither the size nor the count is
  /// checked: a count below 1 gives an image with no frames (every frame index
  /// raises the array index error), and a negative size raises "Invalid pixmap
  /// size" when a frame's pixmap is first made.
  static Ref<TImage> New(int width, int height, int frameCount, int flags, int maskRed, int maskGreen, int maskBlue);
  /// source: a TPixmap (used unchanged) or anything PixmapLoad accepts (a URL
  /// string or a stream). Null when no pixmap results.
  static Ref<TImage> FromSource(const Ref<TObject>& source, int flags, int maskRed, int maskGreen, int maskBlue);
  /// Cells numbered left to right, then top to bottom; null when no pixmap
  /// results, a cell size is below 1, firstCell or cellCount is negative, or
  /// the pixmap holds fewer than firstCell + cellCount whole cells.
  static Ref<TImage> FromStrip(const Ref<TObject>& source, int cellWidth, int cellHeight, int firstCell, int cellCount,
                               int flags, int maskRed, int maskGreen, int maskBlue);
};

/// The image data type "cvx.vex2d.TImage" (made by the module initialiser).
TDataType* ImageDataType();

/// @{
/// An image from a pixmap, a url or a stream (TImage::FromSource); null when no
/// pixmap results. flags -1 means the default image flags; the module mask
/// colour is used.
Ref<TImage> OpenImage(const Ref<TObject>& source, int flags = -1);
Ref<TImage> OpenImage(const String& url, int flags = -1);
/// @}
/// @{
/// An image whose frames are the cells of a strip (TImage::FromStrip); null
/// when the pixmap does not load or holds too few cells.
Ref<TImage> OpenImageStrip(const Ref<TObject>& source, int cellWidth, int cellHeight, int firstCell, int cellCount,
                           int flags = -1);
Ref<TImage> OpenImageStrip(const String& url, int cellWidth, int cellHeight, int firstCell, int cellCount,
                           int flags = -1);
/// @}
/// An image of frameCount blank frames to draw into (ImageDynamic is added).
Ref<TImage> NewImage(int width, int height, int frameCount = 1, int flags = -1);
/// Puts the handle at the centre of the image; a null image raises the null
/// object error.
void CentreImageHandle(TImage* image);
/// Puts the handle at (x, y); a null image raises the null object error.
void PlaceImageHandle(TImage* image, float x, float y);
/// @{
/// The frame size; a null image raises the null object error.
int ImageWidthOf(TImage* image);
int ImageHeightOf(TImage* image);
/// @}
/// A frame's pixmap to read or change (TImage::LockPixmap).
Ref<TPixmap> LockImagePixmap(TImage* image, int frame = 0, int read = 1, int write = 1);
/// Ends a LockImagePixmap; the changed pixmap reaches the screen when the frame
/// is next drawn.
void UnlockImagePixmap(TImage* image, int frame = 0);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
