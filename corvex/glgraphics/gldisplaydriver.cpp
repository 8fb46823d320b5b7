// TGLDisplayDriver and TGLContextGraphics: the abstract display interface
// carried out by the context layer.
#include "corvex/glgraphics/glgraphics.h"

#include <GL/gl.h>

namespace cvx {

// The context layer asks for the buffers by the graphics flags' own bits.
static_assert(GLRequestBackBuffer == FlagBackBuffer && GLRequestAlphaBuffer == FlagAlphaBuffer &&
              GLRequestDepthBuffer == FlagDepthBuffer && GLRequestStencilBuffer == FlagStencilBuffer &&
              GLRequestAccumBuffer == FlagAccumBuffer);

namespace {

constexpr int kMaxModes = 1024;

Ref<TGLDisplayDriver> driverInstance;

}  // namespace

Ref<TGLDisplayDriver> GLDisplayDriver() {
  if (!driverInstance) driverInstance = new TGLDisplayDriver;
  return driverInstance;
}

GraphicsModeArray TGLDisplayDriver::ListModes() {
  static std::int32_t records[kMaxModes * 4];
  int count = GLContextListModes(records, kMaxModes);
  GraphicsModeArray modes = NewArray<Ref<TGraphicsMode>>(count);
  for (int i = 0; i < count; ++i)
    (*modes)[i] = new TGraphicsMode(records[i * 4], records[i * 4 + 1], records[i * 4 + 2], records[i * 4 + 3]);
  return modes;
}

Ref<TGraphics> TGLDisplayDriver::BindWindow(void* windowHandle, int flags) {
  GLContext* context = GLContextAttach(windowHandle, flags);
  if (!context) return nullptr;
  return Ref<TGraphics>(new TGLContextGraphics(context));
}

Ref<TGraphics> TGLDisplayDriver::NewGraphics(int width, int height, int depth, int hertz, int flags) {
  GLContext* context = GLContextCreate(width, height, depth, hertz, flags);
  if (!context) return nullptr;
  return Ref<TGraphics>(new TGLContextGraphics(context));
}

void TGLDisplayDriver::MakeCurrent(TGraphics* graphics) {
  auto* gl = dynamic_cast<TGLContextGraphics*>(graphics);
  GLContextMakeCurrent(gl ? gl->Context() : nullptr);
}

void TGLDisplayDriver::Present(int sync) { GLContextPresent(sync); }
void TGLDisplayDriver::FinishFrame() {
  if (!GLCurrentContext()) return;
  GLFlushQueuedDrawing();
  glFinish();
}
bool TGLDisplayDriver::CanWaitForRetrace() { return GLContextCanWaitForRetrace(); }

void TGLDisplayDriver::ToggleSharedContext() { GLContextToggleShared(); }

// A graphics object that is collected without being released still owns its
// window; closing it here keeps windows and contexts from outliving it.
TGLContextGraphics::~TGLContextGraphics() {
  if (context_) GLContextClose(context_);
}

Ref<TDisplayDriver> TGLContextGraphics::OwnerDriver() { return Ref<TDisplayDriver>(GLDisplayDriver()); }

void TGLContextGraphics::QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) {
  GLContextSettings(context_, width, height, depth, hertz, flags);
}

void TGLContextGraphics::ReleaseGraphics() {
  if (!context_) return;
  GLContext* context = context_;
  context_ = nullptr;
  GLContextClose(context);
}

Ref<TGraphics> OpenGraphicsGL(int width, int height, int depth, int hertz, int flags) {
  InitGLGraphics();
  SelectGraphicsDriver(GLDisplayDriver().Get(), FlagBackBuffer);
  return OpenGraphics(width, height, depth, hertz, flags);
}

}  // namespace cvx
