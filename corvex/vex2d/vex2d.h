/// @file
/// The 2D drawing layer: the render state every 2D graphics object carries,
/// the drawing operations applications call, and the abstract 2D driver that a
/// renderer implements.
///
/// The front end never talks to a graphics API. It works out local coordinates
/// and a translation and hands them, together with the 2x2 matrix last given to
/// ApplyTransform, to the current 2D driver: a local point (px, py) lands on the
/// screen at (px*ix + py*iy + tx, px*jx + py*jy + ty).
#pragma once

#include <cstdint>

#include "corvex/graphics/graphics.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

class TPixmap;
class TImage;
class TImageFrame;
class TGlyphFont;
class TVex2DDriver;

// Blend modes.
inline constexpr int BlendMasked = 1;    ///< no blending; alpha below 0.5 is not drawn
inline constexpr int BlendSolid = 2;     ///< no blending, no alpha test
inline constexpr int BlendAlpha = 3;     ///< source-alpha blending
inline constexpr int BlendAdditive = 4;  ///< source colour x source alpha added (light)
inline constexpr int BlendMultiply = 5;  ///< destination multiplied by the source colour (shade)

/// A 2D graphics object: the render state wrapped around one graphics object
/// of a plain graphics driver (for OpenGL a TGLContextGraphics).
class TVex2DGraphics : public TGraphics {
 public:
  int colorRed = 0, colorGreen = 0, colorBlue = 0;
  float alpha = 0;
  int clearRed = 0, clearGreen = 0, clearBlue = 0;
  float lineWidth = 0;
  float rotation = 0;
  float scaleX = 0, scaleY = 0;
  float ix = 0, iy = 0, jx = 0, jy = 0;
  int viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
  float originX = 0, originY = 0;
  float handleOffsetX = 0, handleOffsetY = 0;  ///< the negated drawing handle
  Ref<TGlyphFont> font;
  int blend = 0;
  Ref<TGraphics> graphics;
  Ref<TVex2DDriver> driver;
  int validated = 0;

  Ref<TDisplayDriver> OwnerDriver() override;
  void QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  void ReleaseGraphics() override;
  /// Sends the whole stored state to the driver again.
  virtual void ReapplyState();

  /// A new 2D graphics around a platform graphics object, not yet validated.
  static Ref<TVex2DGraphics> Create(TGraphics* graphics, TVex2DDriver* driver);
};

/// The abstract 2D driver. NewGraphics and BindWindow of a 2D driver return
/// TVex2DGraphics objects.
class TVex2DDriver : public TDisplayDriver {
 public:
  virtual Ref<TImageFrame> CreateFrame(TPixmap* pixmap, int flags) = 0;
  virtual void ApplyBlend(int mode) = 0;
  virtual void ApplyAlpha(float alpha) = 0;
  virtual void ApplyColor(int red, int green, int blue) = 0;
  virtual void ApplyClearColor(int red, int green, int blue) = 0;
  virtual void ApplyViewport(int x, int y, int width, int height) = 0;
  virtual void ApplyTransform(float ix, float iy, float jx, float jy) = 0;
  virtual void ApplyLineWidth(float width) = 0;
  virtual void ClearTarget() = 0;
  /// Final screen position; no matrix.
  virtual void RenderPoint(float x, float y) = 0;
  virtual void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  /// xy holds x and y alternating; each point is offset by the handle before the matrix.
  virtual void RenderPoly(TArray<float>* xy, float handleX, float handleY, float tx, float ty) = 0;
  /// Final screen position of the pixmap's top-left corner.
  virtual void RenderPixmap(TPixmap* pixmap, int x, int y) = 0;
  /// Rows top first.
  virtual Ref<TPixmap> CapturePixmap(int x, int y, int width, int height) = 0;
};

/// Module initialiser (polled input, text streams, images, fonts, collision layers).
void InitVex2D();

/// The current 2D graphics and 2D driver (null until one is activated).
TVex2DGraphics* CurrentVex2DGraphics() noexcept;
TVex2DDriver* CurrentVex2DDriver() noexcept;

/// Run by a 2D driver's MakeCurrent once its platform context is current:
/// makes the object current and gives it its defaults on first activation.
void ActivateVex2DGraphics(TGraphics* graphics);

/// Recomputes the matrix from the current rotation and scale and sends it to
/// the driver (and to the collision layers).
void UpdateTransform();

/// ---- State setters (they act on the current 2D graphics) -------------------
void SetDrawColor(int red, int green, int blue);
void SetDrawAlpha(float alpha);
void SetClearColor(int red, int green, int blue);
void SetBlendMode(int mode);
void SetDrawLineWidth(float width);
void SetDrawViewport(int x, int y, int width, int height);
void SetDrawRotation(float degrees);
void SetDrawScale(float x, float y);
void SetDrawTransform(float degrees, float scaleX, float scaleY);
void SetDrawOrigin(float x, float y);
void SetDrawHandle(float x, float y);
/// Null selects the default font.
void SetDrawFont(TGlyphFont* font);
void SetImageMaskColor(int red, int green, int blue);
void SetAutoCentreHandle(int flag);
/// -1 leaves the default image flags unchanged.
void SetDefaultImageFlags(int flags);

/// ---- Getters ----------------------------------------------------------------
void GetDrawColor(int& red, int& green, int& blue);
float GetDrawAlpha();
void GetClearColor(int& red, int& green, int& blue);
int GetBlendMode();
float GetDrawLineWidth();
void GetDrawViewport(int& x, int& y, int& width, int& height);
float GetDrawRotation();
void GetDrawScale(float& x, float& y);
void GetDrawOrigin(float& x, float& y);
/// The handle as set (the negated offset).
void GetDrawHandle(float& x, float& y);
Ref<TGlyphFont> GetDrawFont();
void GetImageMaskColor(int& red, int& green, int& blue);
int GetAutoCentreHandle() noexcept;
int GetDefaultImageFlags() noexcept;
/// The built-in font used when none is set (null before the first activation).
Ref<TGlyphFont> DefaultFont();

/// ---- Drawing ----------------------------------------------------------------
void ClearScreen();
/// No handle, no matrix.
void PlotPoint(float x, float y);
/// lastPixel != 0 also plots the end point.
void StrokeLine(float x0, float y0, float x1, float y1, int lastPixel = 1);
void FillRect(float x, float y, float width, float height);
void FillOval(float x, float y, float width, float height);
void FillPoly(TArray<float>* xy);
void DrawString(const String& text, float x, float y);
int StringWidth(const String& text);
int StringHeight();
/// Images are placed by their own handle; the drawing handle does not apply.
void BlitImage(TImage* image, float x, float y, int frame = 0);
void BlitImageRect(TImage* image, float x, float y, float width, float height, int frame = 0);
/// Covers the viewport with unrotated, unscaled copies aligned to (x, y).
void BlitImageTiled(TImage* image, float x, float y, int frame = 0);
/// Unblended copy; no origin.
void BlitPixmap(TPixmap* pixmap, int x, int y);
Ref<TPixmap> ReadPixmap(int x, int y, int width, int height);
/// Reads the screen at (x, y) into the image's frame (masked for masked images).
void CaptureImage(TImage* image, int x, int y, int frame = 0);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
