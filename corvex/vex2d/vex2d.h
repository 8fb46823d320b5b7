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
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"

namespace cvx {

class TVex2DDriver;

/// @name Blend modes (SetBlendMode)
/// @{
inline constexpr int BlendMasked = 1;    ///< no blending; alpha below 0.5 is not drawn
inline constexpr int BlendSolid = 2;     ///< no blending, no alpha test
inline constexpr int BlendAlpha = 3;     ///< source-alpha blending
inline constexpr int BlendAdditive = 4;  ///< source colour x source alpha added (light)
inline constexpr int BlendMultiply = 5;  ///< destination multiplied by the source colour (shade)
/// @}

/// A 2D graphics object: the render state wrapped around one graphics object
/// of a plain graphics driver (for OpenGL a TGLContextGraphics).
class TVex2DGraphics : public TGraphics {
 public:
  /// @{
  /// Drawing colour, 0 to 255 each (SetDrawColor).
  int colorRed = 0, colorGreen = 0, colorBlue = 0;
  /// @}
  /// Drawing alpha, 0 (transparent) to 1 (SetDrawAlpha).
  float alpha = 0;
  /// @{
  /// Colour ClearScreen fills with (SetClearColor).
  int clearRed = 0, clearGreen = 0, clearBlue = 0;
  /// @}
  /// Line width in pixels (SetDrawLineWidth).
  float lineWidth = 0;
  /// Rotation in degrees (SetDrawRotation).
  float rotation = 0;
  /// @{
  /// Scale factors (SetDrawScale).
  float scaleX = 0, scaleY = 0;
  /// @}
  /// @{
  /// The 2x2 matrix made from rotation and scale (UpdateTransform).
  float ix = 0, iy = 0, jx = 0, jy = 0;
  /// @}
  /// @{
  /// The viewport in window pixels (SetDrawViewport).
  int viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
  /// @}
  /// @{
  /// Origin added to every drawing position (SetDrawOrigin).
  float originX = 0, originY = 0;
  /// @}
  /// @{
  /// The negated drawing handle (SetDrawHandle).
  float handleOffsetX = 0, handleOffsetY = 0;  ///< the negated drawing handle
  /// @}
  /// Font of DrawString (SetDrawFont); null for the default font.
  Ref<TGlyphFont> font;
  /// Blend mode, one of the Blend constants (SetBlendMode).
  int blend = 0;
  /// The platform graphics object this state wraps.
  Ref<TGraphics> graphics;
  /// The 2D driver that draws it.
  Ref<TVex2DDriver> driver;
  /// Set once the object got its defaults on its first activation.
  int validated = 0;

  /// The 2D driver (not the platform driver it draws through).
  Ref<TDisplayDriver> OwnerDriver() override;
  /// The settings of the wrapped platform graphics.
  void QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  /// Releases the wrapped platform graphics; the object is unusable afterwards.
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
  /// Turns a pixmap into a driver frame (for OpenGL a texture) with the image
  /// flags; raises TRuntimeError when the driver cannot make it.
  virtual Ref<TImageFrame> CreateFrame(TPixmap* pixmap, int flags) = 0;
  /// @{
  /// Sends one piece of render state to the platform context; the arguments are
  /// those of the setter of the same name (SetBlendMode, SetDrawAlpha ...).
  virtual void ApplyBlend(int mode) = 0;
  virtual void ApplyAlpha(float alpha) = 0;
  virtual void ApplyColor(int red, int green, int blue) = 0;
  virtual void ApplyClearColor(int red, int green, int blue) = 0;
  virtual void ApplyViewport(int x, int y, int width, int height) = 0;
  virtual void ApplyTransform(float ix, float iy, float jx, float jy) = 0;
  virtual void ApplyLineWidth(float width) = 0;
  /// @}
  /// Fills the viewport with the clear colour.
  virtual void ClearTarget() = 0;
  /// Final screen position; no matrix.
  virtual void RenderPoint(float x, float y) = 0;
  /// @{
  /// Draw a line, rectangle or oval given in local coordinates through the
  /// current matrix, translated by (tx, ty).
  virtual void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  /// @}
  /// xy holds x and y alternating; each point is offset by the handle before the matrix.
  virtual void RenderPoly(TArray<float>* xy, float handleX, float handleY, float tx, float ty) = 0;
  /// Final screen position of the pixmap's top-left corner.
  virtual void RenderPixmap(TPixmap* pixmap, int x, int y) = 0;
  /// Reads a rectangle of the target into a new pixmap, rows top first; raises
  /// TRuntimeError when the target cannot be read.
  virtual Ref<TPixmap> CapturePixmap(int x, int y, int width, int height) = 0;
};

/// Module initialiser (polled input, text streams, images, fonts, collision layers).
void InitVex2D();

/// @{
/// The current 2D graphics and 2D driver (null until one is activated).
TVex2DGraphics* CurrentVex2DGraphics() noexcept;
TVex2DDriver* CurrentVex2DDriver() noexcept;
/// @}

/// Run by a 2D driver's MakeCurrent once its platform context is current:
/// makes the object current and gives it its defaults on first activation.
void ActivateVex2DGraphics(TGraphics* graphics);

/// Recomputes the matrix from the current rotation and scale and sends it to
/// the driver (and to the collision layers).
void UpdateTransform();

/// @name State setters
/// They change the current 2D graphics and send the change to its driver.
/// Without a current 2D graphics they raise the null object error.
/// @{

/// Drawing colour, 0 to 255 each.
void SetDrawColor(int red, int green, int blue);
/// Drawing alpha, 0 (transparent) to 1 (opaque).
void SetDrawAlpha(float alpha);
/// Colour ClearScreen fills the viewport with.
void SetClearColor(int red, int green, int blue);
/// One of the Blend constants.
void SetBlendMode(int mode);
/// Width of StrokeLine's lines in pixels; a width that is not positive (or not
/// a number) draws the thinnest lines.
void SetDrawLineWidth(float width);
/// The window rectangle drawing and ClearScreen are clipped to.
void SetDrawViewport(int x, int y, int width, int height);
/// Rotation of everything drawn, in degrees.
void SetDrawRotation(float degrees);
/// Scale of everything drawn.
void SetDrawScale(float x, float y);
/// Rotation and scale at once.
void SetDrawTransform(float degrees, float scaleX, float scaleY);
/// Point added to every drawing position.
void SetDrawOrigin(float x, float y);
/// Point of the shape that lands on the drawing position (before the matrix).
void SetDrawHandle(float x, float y);
/// Font of DrawString; null selects the default font.
void SetDrawFont(TGlyphFont* font);
/// Colour that becomes transparent in images loaded with ImageMasked.
void SetImageMaskColor(int red, int green, int blue);
/// flag != 0: images loaded from now on get their handle at their centre.
void SetAutoCentreHandle(int flag);
/// Flags images get when loaded with flags -1; -1 leaves them unchanged.
void SetDefaultImageFlags(int flags);
/// @}

/// @name Getters
/// They read the current 2D graphics (the values as set); without one they
/// raise the null object error.
/// @{

/// The drawing colour.
void GetDrawColor(int& red, int& green, int& blue);
/// The drawing alpha.
float GetDrawAlpha();
/// The clear colour.
void GetClearColor(int& red, int& green, int& blue);
/// The blend mode.
int GetBlendMode();
/// The line width.
float GetDrawLineWidth();
/// The viewport.
void GetDrawViewport(int& x, int& y, int& width, int& height);
/// The rotation in degrees.
float GetDrawRotation();
/// The scale.
void GetDrawScale(float& x, float& y);
/// The origin.
void GetDrawOrigin(float& x, float& y);
/// The handle as set (the negated offset).
void GetDrawHandle(float& x, float& y);
/// The font set with SetDrawFont (null when the default font is used).
Ref<TGlyphFont> GetDrawFont();
/// The image mask colour.
void GetImageMaskColor(int& red, int& green, int& blue);
/// 1 when loaded images get a centred handle (needs no current graphics).
int GetAutoCentreHandle() noexcept;
/// The default image flags (needs no current graphics).
int GetDefaultImageFlags() noexcept;
/// The built-in font used when none is set (null before the first activation).
Ref<TGlyphFont> DefaultFont();
/// @}

/// @name Drawing
/// They draw into the current 2D graphics with its colour, alpha, blend mode
/// and transform; without one they raise the null object error. Coordinates are
/// in pixels from the origin, offset by the drawing handle unless said otherwise.
/// @{

/// Fills the viewport with the clear colour.
void ClearScreen();
/// Plots one pixel; no handle, no matrix.
void PlotPoint(float x, float y);
/// Draws a line; lastPixel != 0 also plots the end point.
void StrokeLine(float x0, float y0, float x1, float y1, int lastPixel = 1);
/// Fills a rectangle.
void FillRect(float x, float y, float width, float height);
/// Fills the oval inside a rectangle.
void FillOval(float x, float y, float width, float height);
/// Fills a polygon; xy holds x and y alternating; a null array raises the null
/// object error.
void FillPoly(TArray<float>* xy);
/// Draws text in the current font with (x, y) at the top left of its first line.
void DrawString(const String& text, float x, float y);
/// Width in pixels of text in the current font, summed as an int glyph by
/// glyph; a sum beyond the int range gives its nearest end.
int StringWidth(const String& text);
/// Height in pixels of a line in the current font.
int StringHeight();
/// Draws an image frame, placed by the image's own handle (the drawing handle
/// does not apply); a null image raises the null object error.
void BlitImage(TImage* image, float x, float y, int frame = 0);
/// Draws an image frame stretched to width x height.
void BlitImageRect(TImage* image, float x, float y, float width, float height, int frame = 0);
/// Covers the viewport with unrotated, unscaled copies aligned to (x, y); only
/// the part of the viewport that lies on the graphics gets tiles.
void BlitImageTiled(TImage* image, float x, float y, int frame = 0);
/// Copies a pixmap unblended to window pixels (x, y); no origin, no matrix.
void BlitPixmap(TPixmap* pixmap, int x, int y);
/// Reads a rectangle of the viewport into a new pixmap.
Ref<TPixmap> ReadPixmap(int x, int y, int width, int height);
/// Reads the screen at (x, y) into the image's frame (masked for masked images).
void CaptureImage(TImage* image, int x, int y, int frame = 0);
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
