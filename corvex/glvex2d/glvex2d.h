/// @file
/// The OpenGL 2D driver: fixed-function OpenGL 1.1 in immediate mode, a
/// pixel-exact orthographic projection, blend modes as GL blend and alpha-test
/// settings, the 2x2 matrix applied on the CPU to every vertex, and image
/// frames as power-of-two textures made in the shared GL context. Windows and
/// contexts come from the OpenGL graphics driver.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx {

/// The OpenGL 2D driver (see the file comment).
class TGLVex2DDriver : public TVex2DDriver {
 public:
  /// Driver-wide state, one set for all GL 2D graphics objects.
  /// @{
  /// The matrix of ApplyTransform.
  float ix = 1, iy = 0, jx = 0, jy = 1;
  /// @}
  /// Drawing colour and alpha as RGBA bytes.
  unsigned char color[4] = {255, 255, 255, 255};
  int lastBlend = 0;     ///< 0 = none applied yet
  int boundTexture = 0;  ///< 0 = none
  int texturing = 0;     ///< GL_TEXTURE_2D enabled

  String ToString() override;  ///< "OpenGL"

  GraphicsModeArray ListModes() override;
  Ref<TGraphics> BindWindow(void* windowHandle, int flags) override;
  Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) override;
  void MakeCurrent(TGraphics* graphics) override;
  void Present(int sync) override;

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
  Ref<TPixmap> CapturePixmap(int x, int y, int width, int height) override;

  /// Binds a texture and switches texturing on, skipping what the caches say is done.
  void UseTexture(int name);
  /// Switches texturing off unless it already is.
  void DisableTexturing();
};

/// One image frame as a GL texture.
class TGLTextureFrame : public TImageFrame {
 public:
  /// @{
  /// The image's rectangle inside the texture, in texture coordinates.
  float s0 = 0, t0 = 0, s1 = 1, t1 = 1;
  /// @}
  /// The GL texture name (0 once deleted).
  int texture = 0;
  int sequence = 0;  ///< GraphicsSequence when the frame was made

  ~TGLTextureFrame() override;
  void Render(float x0, float y0, float x1, float y1, float tx, float ty) override;
};

/// The one driver instance (made on first request).
TGLVex2DDriver* GLVex2DDriver();

/// Initialises the 2D layer and the GL graphics module and selects this driver
/// as the graphics driver (default flags FlagBackBuffer).
void InitGLVex2D();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
