/// @file
/// The OpenGL 2D driver: fixed-function OpenGL 1.1 in immediate mode, a
/// pixel-exact orthographic projection, blend modes as GL blend and alpha-test
/// settings, the 2x2 matrix applied on the CPU to every vertex, and image
/// frames as power-of-two textures made in the shared GL context. Windows and
/// contexts come from the OpenGL graphics driver.
#pragma once

#include <cstring>
#include <vector>

#include "corvex/glvex2d/glbatch.h"
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
  int lastBlend = 0;      ///< 0 = none applied yet
  int boundTexture = 0;   ///< 0 = none
  int texturing = 0;      ///< GL_TEXTURE_2D enabled
  int batching = 1;       ///< primitives are queued rather than drawn at once
  int colorPending = 0;   ///< color differs from the GL's current colour
  int arraysEnabled = 0;  ///< the three client arrays are on in the current context
  GLBatch batch;          ///< the queued primitives

  String ToString() override;  ///< "OpenGL"

  GraphicsModeArray ListModes() override;
  Ref<TGraphics> BindWindow(void* windowHandle, int flags) override;
  Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) override;
  void MakeCurrent(TGraphics* graphics) override;
  void Present(int sync) override;
  void FinishFrame() override;  ///< draws the queue, then the OpenGL display driver's FinishFrame
  bool CanWaitForRetrace() override;  ///< the OpenGL display driver's answer

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

  /// Room for the n vertices of one primitive drawn with texture (0 =
  /// untextured): in the queue (flushed first when it holds another texture),
  /// or, with queuing off, in a scratch array that EndPrimitive draws at once.
  GLBatchVertex* BeginPrimitive(GLenum mode, int texture, int n) {
    if (batching) {
      if (!batch.Empty() && batch.Texture() != texture) FlushQueued();
      return batch.Append(mode, texture, n);
    }
    return BeginImmediate(mode, texture, n);
  }
  /// Ends a primitive begun with BeginPrimitive (draws it when not batching).
  void EndPrimitive() {
    if (!batching) EndImmediate();
  }
  /// The current colour and alpha bytes as one word (see GLBatchColor).
  GLBatchColor PackedColor() const noexcept {
    GLBatchColor rgba;
    std::memcpy(&rgba, color, sizeof rgba);
    return rgba;
  }
  /// Fills one vertex with the current colour.
  void SetVertex(GLBatchVertex* v, float x, float y, float s = 0, float t = 0) const {
    SetBatchVertex(v, x, y, s, t, PackedColor());
  }

  /// Draws what is queued, in the current context.
  void Flush() {
    if (!batch.Empty()) FlushQueued();
  }
  /// Flush, then leave the GL as immediate drawing would have: client arrays
  /// off and the current colour set. Run before GL work of others.
  void FlushForOutside();

 private:
  void FlushQueued();
  GLBatchVertex* BeginImmediate(GLenum mode, int texture, int n);
  void EndImmediate();

  // Sends the colour bytes to the GL, or marks them for the next flush.
  void SendColor();

  std::vector<GLBatchVertex> scratch_;
  GLenum scratchMode_ = 0;
  int scratchTexture_ = 0;
  int scratchCount_ = 0;
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

/// Switches queuing on (non-zero) or off; what is queued is drawn first.
void SetGLBatching(int on);
/// 1 when primitives are queued, else 0.
int GLBatching();

/// Draws what the driver has queued and leaves the GL as immediate drawing
/// would: a program that makes GL calls of its own between 2D drawing calls
/// runs this first. Nothing happens before the driver exists.
void FlushGLVex2D();

/// Initialises the 2D layer and the GL graphics module and selects this driver
/// as the graphics driver (default flags FlagBackBuffer).
void InitGLVex2D();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
