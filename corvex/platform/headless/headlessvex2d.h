/// @file
/// The 2D driver without a display: every graphics object is a pixmap in memory
/// (RGBA8888, rows top first) that the drawing operations write into, with the
/// rules of the OpenGL 2D driver: pixel centres at half-integers, polygons
/// filled as fans of triangles (the GL's fill rule: a pixel belongs to a
/// triangle whose inside holds its centre, shared edges drawn once), image
/// frames sampled at the nearest texel and multiplied by the drawing colour
/// and alpha, the blend modes' equations, the viewport as a scissor that also
/// bounds clearing. Filtering and mipmaps are not reproduced (frames are
/// always sampled at the nearest texel), nor line smoothing.
#pragma once

#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The platform graphics of the headless driver: a canvas (the back buffer)
/// and what was last presented.
/// A graphics object of the headless driver: a back pixmap drawn into, and a copy
/// of it made at each Present.
class THeadlessCanvas final : public TGraphics {
 public:
  /// A canvas of the driver with the given settings (NewGraphics makes them).
  THeadlessCanvas(TDisplayDriver* driver, int width, int height, int depth, int hertz, int flags);

  Ref<TDisplayDriver> OwnerDriver() override;
  void QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  void ReleaseGraphics() override;

  /// The driver that made the canvas.
  Ref<TDisplayDriver> driver;
  Ref<TPixmap> back;       ///< null once released
  Ref<TPixmap> presented;  ///< a copy of back at the last Present, null before
  /// @{
  /// The settings it was made with.
  int width, height, depth, hertz, flags;
  /// @}
  /// How often Present copied the canvas.
  int presents = 0;
};

/// The 2D driver without a display (see the file comment): it draws into pixmaps
/// with the same rules as the OpenGL driver, for tests and programs without an X
/// server.
class THeadlessVex2DDriver final : public TVex2DDriver {
 public:
  /// Driver-wide state, as the GL driver keeps it.
  /// @{
  /// The matrix of ApplyTransform.
  float ix = 1, iy = 0, jx = 0, jy = 1;
  /// @}
  /// Drawing colour and alpha as RGBA bytes.
  unsigned char color[4] = {255, 255, 255, 255};
  /// Clear colour as RGBA bytes.
  unsigned char clearColor[4] = {0, 0, 0, 255};
  /// The blend mode.
  int blend = 0;
  /// The line width.
  float lineWidth = 1;
  /// @{
  /// The viewport, in canvas pixels.
  int scissorX = 0, scissorY = 0, scissorWidth = 0, scissorHeight = 0;
  /// @}
  Ref<THeadlessCanvas> target;  ///< the canvas of the current graphics

  String ToString() override;  ///< "Headless"

  /// One windowed mode, 1024x768 (any size opens).
  GraphicsModeArray ListModes() override;
  /// Null: there are no native windows.
  Ref<TGraphics> BindWindow(void* windowHandle, int flags) override;
  /// A canvas of width x height cleared to opaque black; null for a size below
  /// 1 or above 16384 on either side.
  Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) override;
  void MakeCurrent(TGraphics* graphics) override;
  /// Copies the canvas into the canvas's presented pixmap.
  void Present(int sync) override;
  /// False: there is no retrace to wait for.
  bool CanWaitForRetrace() override;

  Ref<TImageFrame> CreateFrame(TPixmap* pixmap, int flags) override;
  void ApplyBlend(int mode) override;
  void ApplyAlpha(float alpha) override;
  void ApplyColor(int red, int green, int blue) override;
  void ApplyClearColor(int red, int green, int blue) override;
  void ApplyViewport(int x, int y, int width, int height) override;
  void ApplyTransform(float ix, float iy, float jx, float jy) override;
  void ApplyLineWidth(float width) override;
  void ClearTarget() override;
  void RenderPoint(float x, float y) override;
  void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderPoly(TArray<float>* xy, float handleX, float handleY, float tx, float ty) override;
  void RenderPixmap(TPixmap* pixmap, int x, int y) override;
  /// Pixels outside the canvas read as transparent black.
  Ref<TPixmap> CapturePixmap(int x, int y, int width, int height) override;
};

/// One image frame as the headless driver holds it: an RGBA8888 copy.
class THeadlessFrame final : public TImageFrame {
 public:
  void Render(float x0, float y0, float x1, float y1, float tx, float ty) override;
  /// The frame's pixels, converted to RGBA8888.
  Ref<TPixmap> texels;
};

/// The one driver instance (made on first request).
THeadlessVex2DDriver* HeadlessVex2DDriver();
/// The canvas of the current graphics when it is headless, else null.
Ref<TPixmap> HeadlessBackBuffer();

/// Initialises the 2D layer and selects the headless driver as the graphics
/// driver (default flags FlagBackBuffer).
void InitHeadlessVex2D();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
