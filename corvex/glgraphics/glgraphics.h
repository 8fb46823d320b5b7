/// @file
/// The OpenGL graphics driver: windows with OpenGL contexts that all share
/// textures and display lists with one hidden shared context, full-screen
/// display modes switched on focus, buffer swaps with or without vertical sync,
/// and a small stand-alone text routine with a built-in 8x16 font.
///
/// The C-level context layer underneath is in glcontext.h.
#pragma once

#include "corvex/graphics/graphics.h"
#include "corvex/platform/glcontext.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// The OpenGL display driver; one instance for the program's life (GLDisplayDriver()).
class TGLDisplayDriver final : public TDisplayDriver {
 public:
  /// Up to 1024 modes of 16 bits or more, in the platform's order.
  GraphicsModeArray ListModes() override;
  /// A TGLContextGraphics drawing into the native window, or null.
  Ref<TGraphics> BindWindow(void* windowHandle, int flags) override;
  /// A TGLContextGraphics with its own window and context, or null.
  Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) override;
  /// The object's context, or none for null or for an object of another driver.
  void MakeCurrent(TGraphics* graphics) override;
  void Present(int sync) override;
  /// Draws what is queued and waits until the context has rendered it.
  void FinishFrame() override;
  /// False once the platform has refused to swap on the vertical retrace.
  bool CanWaitForRetrace() override;

  /// Switches rendering to the shared context and back: called once before and
  /// once after creating a texture, so that every window's context sees it.
  virtual void ToggleSharedContext();
};

/// One window (or attached foreign window) with its OpenGL context.
class TGLContextGraphics final : public TGraphics {
 public:
  /// A graphics object over a context record of the context layer, which it then
  /// owns (its destructor releases it).
  explicit TGLContextGraphics(GLContext* context) : context_(context) {}
  ~TGLContextGraphics() override;

  Ref<TDisplayDriver> OwnerDriver() override;
  void QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  /// Closes the context and its window; the object then reports zeros.
  void ReleaseGraphics() override;

  /// The context record, or nullptr after ReleaseGraphics.
  GLContext* Context() const noexcept { return context_; }

 private:
  GLContext* context_;
};

/// The driver instance, made on first request.
Ref<TGLDisplayDriver> GLDisplayDriver();

/// Selects the OpenGL driver with FlagBackBuffer and opens the display.
Ref<TGraphics> OpenGraphicsGL(int width, int height, int depth, int hertz, int flags);

/// Draws text at (x, y) in screen pixels of the current context with the
/// built-in 8x16 font, one 8-pixel cell per character (codes 32 to 127 drawn).
/// Colour and blending are whatever is current.
void GLDrawString(const String& text, int x, int y);

/// The texture size for a width x height image: each side the next power of two
/// (at most 2^30), halved together until the GL accepts it, asked through the
/// proxy texture of the current context. Both the 2D driver's image frames and
/// GLDrawString's font follow it. Raises "Unable to calculate tex size" when
/// not even 1 x 1 is accepted.
void FitTextureSize(int width, int height, int& textureWidth, int& textureHeight);

/// Runs once: the graphics and pixmap modules, registers "gldrawtextfont.bin",
/// selects the OpenGL driver with FlagBackBuffer.
void InitGLGraphics();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
