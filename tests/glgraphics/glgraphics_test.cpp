// The OpenGL driver on a real X display (Xvfb with Mesa's software GL):
// window geometry, full-screen modes and focus, shared textures, swap state,
// the built-in text routine, attached windows and repeated open/shut.
#include "corvex/glgraphics/glgraphics.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/input/input.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/system/system.h"
#include "corvex/stream/embed.h"
#include "tests/glgraphics/xwindows.h"

namespace cvx {
namespace {

using test::ClientGeometry;
using test::TopLevelWindowCount;
using test::XGeometry;

// The SDL window behind a context record.
SDL_Window* WindowOf(const GLContext* c) { return static_cast<SDL_Window*>(c->window); }

GLContext* ContextOf(const Ref<TGraphics>& g) {
  auto* gl = dynamic_cast<TGLContextGraphics*>(g.Get());
  return gl ? gl->Context() : nullptr;
}

class GLGraphicsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitGLGraphics(); }
  void SetUp() override {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "no display";
    SelectGraphicsDriver(GLDisplayDriver().Get(), FlagBackBuffer);
    contextsBefore = GLContextCount();
  }
  void TearDown() override {
    ShutGraphics();
    for (const Ref<TGraphics>& g : made) DisposeGraphics(g.Get());
    made.clear();
    EXPECT_EQ(GLContextCount(), contextsBefore);
    EXPECT_EQ(GLFullScreenWindow(), nullptr);
  }
  Ref<TGraphics> Make(int w, int h, int d, int hz, int flags) {
    Ref<TGraphics> g = NewGraphics(w, h, d, hz, flags);
    if (g) made.push_back(g);
    return g;
  }

  std::vector<Ref<TGraphics>> made;
  int contextsBefore = 0;
};

TEST_F(GLGraphicsTest, WindowedGraphicsIsACaptionedWindowAt32) {
  SDL_DisplayMode desktop;
  ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &desktop), 0);
  Ref<TGraphics> g = Make(640, 480, 0, 60, 2);
  ASSERT_FALSE(g.IsNull());
  GLContext* c = ContextOf(g);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->mode, ContextWindowed);
  EXPECT_EQ(GLContextList(), c);
  EXPECT_STREQ(SDL_GetWindowTitle(WindowOf(c)), "Corvex Application");
  Uint32 flags = SDL_GetWindowFlags(WindowOf(c));
  EXPECT_FALSE(flags & SDL_WINDOW_BORDERLESS);
  EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);
  EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);
  XGeometry geometry = ClientGeometry(WindowOf(c));
  EXPECT_EQ(geometry.x, 32);
  EXPECT_EQ(geometry.y, 32);
  EXPECT_EQ(geometry.width, 640);
  EXPECT_EQ(geometry.height, 480);

  int w, h, d, hz, f;
  g->QuerySettings(w, h, d, hz, f);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(hz, 60);
  EXPECT_EQ(f, 2 | FlagBackBuffer);
  EXPECT_EQ(g->OwnerDriver().Get(), GLDisplayDriver().Get());

  SDL_DisplayMode now;
  ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &now), 0);
  EXPECT_EQ(now.w, desktop.w);
  EXPECT_EQ(now.h, desktop.h);
  EXPECT_EQ(GLFullScreenWindow(), nullptr);

  // Released objects report nothing and a second release does nothing.
  DisposeGraphics(g.Get());
  g->QuerySettings(w, h, d, hz, f);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(f, 0);
  DisposeGraphics(g.Get());
}

TEST_F(GLGraphicsTest, FullScreenTakesTheModeWithoutTheRefreshRateXvfbLacks) {
  long calls = GLSwapIntervalCalls();
  Ref<TGraphics> g = Make(1024, 768, 32, 60, 2);
  ASSERT_FALSE(g.IsNull());
  GLContext* c = ContextOf(g);
  EXPECT_EQ(c->mode, ContextFullScreen);
  EXPECT_EQ(GLFullScreenWindow(), WindowOf(c));
  EXPECT_TRUE(SDL_GetWindowFlags(WindowOf(c)) & SDL_WINDOW_FULLSCREEN);
  EXPECT_TRUE(SDL_GetWindowFlags(WindowOf(c)) & SDL_WINDOW_BORDERLESS);
  // Xvfb's modes carry no 60 Hz rate: the fallback without it set interval 0.
  EXPECT_EQ(GLSwapIntervalCalls(), calls + 1);
  EXPECT_EQ(GLLastSwapInterval(), 0);
  XGeometry geometry = ClientGeometry(WindowOf(c));
  EXPECT_EQ(geometry.x, 0);
  EXPECT_EQ(geometry.y, 0);
  EXPECT_EQ(geometry.width, 1024);
  EXPECT_EQ(geometry.height, 768);

  // Focus loss gives the mode back; focus gain takes it again.
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = SDL_GetWindowID(WindowOf(c));
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  EXPECT_EQ(GLContextWindowProc(e), 0);
  EXPECT_EQ(GLFullScreenWindow(), nullptr);
  EXPECT_FALSE(SDL_GetWindowFlags(WindowOf(c)) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(GLLastSwapInterval(), 0);
  e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  EXPECT_EQ(GLContextWindowProc(e), 0);
  EXPECT_EQ(GLFullScreenWindow(), WindowOf(c));
  EXPECT_TRUE(SDL_GetWindowFlags(WindowOf(c)) & SDL_WINDOW_FULLSCREEN);
  long afterGain = GLSwapIntervalCalls();
  EXPECT_EQ(GLContextWindowProc(e), 0);  // already the full-screen window: nothing
  EXPECT_EQ(GLSwapIntervalCalls(), afterGain);

  // Closing the full-screen window gives the mode back too.
  DisposeGraphics(g.Get());
  EXPECT_EQ(GLFullScreenWindow(), nullptr);
}

TEST_F(GLGraphicsTest, AModeTheDisplayLacksIsAnErrorAndLeavesNoWindow) {
  int before = GLContextCount();
  try {
    Make(1000, 700, 32, 85, 2);
    ADD_FAILURE() << "no error raised";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "GLGraphicsDriver failed to set display mode");
  }
  EXPECT_EQ(GLContextCount(), before);
  EXPECT_EQ(GLFullScreenWindow(), nullptr);
  // A 4-byte pixel format counts as 32 bits: there is no 24-bit mode to take.
  EXPECT_THROW(Make(1024, 768, 24, 0, 2), TRuntimeError);
  EXPECT_EQ(GLContextCount(), before);
  // No window can have an empty client area.
  EXPECT_TRUE(Make(0, 480, 0, 0, 2).IsNull());
  EXPECT_TRUE(Make(640, -1, 0, 0, 2).IsNull());
  EXPECT_EQ(GLContextCount(), before);
  // The shared context is in no list and cannot be closed.
  GLContext* shared = GLSharedContext();
  ASSERT_NE(shared, nullptr);
  GLContextClose(shared);
  EXPECT_EQ(GLSharedContext(), shared);
  EXPECT_NE(shared->renderContext, nullptr);
}

TEST_F(GLGraphicsTest, ModeListKeepsDeepEnoughModes) {
  GraphicsModeArray modes = ListGraphicsModes();
  ASSERT_GT(modes->Length(), 0);
  EXPECT_LE(modes->Length(), 1024);
  for (const Ref<TGraphicsMode>& m : *modes) EXPECT_GE(m->depth, 16);
  EXPECT_EQ(HasGraphicsMode(1024, 768, 32, 0), 1);
  EXPECT_EQ(HasGraphicsMode(0, 0, 8, 0), 0);
  std::int32_t few[2 * 4];
  EXPECT_LE(GLContextListModes(few, 2), 2);
  EXPECT_EQ(GLContextListModes(few, 0), 0);
}

TEST_F(GLGraphicsTest, OpenGraphicsGoesFullScreenAndShutsCleanly) {
  int sequence = GraphicsSequence();
  Ref<TGraphics> g = OpenGraphicsGL(1024, 768, 32, 60, 0);
  ASSERT_FALSE(g.IsNull());
  GLContext* c = ContextOf(g);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->mode, ContextFullScreen);
  EXPECT_EQ(GLFullScreenWindow(), WindowOf(c));
  EXPECT_EQ(GLCurrentContext(), c);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), c->renderContext);
  EXPECT_EQ(CurrentGraphicsWidth(), 1024);
  EXPECT_EQ(CurrentGraphicsDepth(), 32);
  EXPECT_EQ(CurrentGraphicsFlags(), FlagBackBuffer);
  EXPECT_EQ(GraphicsSequence(), sequence + 1);
  EXPECT_EQ(InputPollingStarted(), 1);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  FlipFrame(0);
  ShutGraphics();
  EXPECT_EQ(GLCurrentContext(), nullptr);
  EXPECT_EQ(GLFullScreenWindow(), nullptr);
  EXPECT_EQ(GraphicsSequence(), sequence + 2);
}

TEST_F(GLGraphicsTest, TextureMadeInTheSharedContextDrawsInAWindow) {
  Ref<TGraphics> g = Make(64, 64, 0, 0, 2);
  ASSERT_FALSE(g.IsNull());
  MakeGraphicsCurrent(g.Get());
  GLContext* c = ContextOf(g);
  Ref<TGLDisplayDriver> driver = GLDisplayDriver();

  driver->ToggleSharedContext();
  ASSERT_NE(GLSharedContext(), nullptr);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), GLSharedContext()->renderContext);
  EXPECT_EQ(GLCurrentContext(), c);  // the recorded context stays
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  const std::uint8_t texels[4 * 4] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  glBindTexture(GL_TEXTURE_2D, 0);
  glFinish();
  driver->ToggleSharedContext();
  EXPECT_EQ(SDL_GL_GetCurrentContext(), c->renderContext);

  glViewport(0, 0, 64, 64);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_TRUE(glIsTexture(texture));
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-1, -1);
  glTexCoord2f(1, 0);
  glVertex2f(1, -1);
  glTexCoord2f(1, 1);
  glVertex2f(1, 1);
  glTexCoord2f(0, 1);
  glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  std::uint8_t pixel[4] = {};
  glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 0);
  EXPECT_EQ(pixel[2], 0);
  glDeleteTextures(1, &texture);
}

TEST_F(GLGraphicsTest, PresentSetsTheSwapIntervalOnlyWhenSyncChanges) {
  GLContextMakeCurrent(nullptr);
  long calls = GLSwapIntervalCalls();
  int state = GLSwapState();
  GLContextPresent(1);  // no current context: nothing at all
  EXPECT_EQ(GLSwapIntervalCalls(), calls);
  EXPECT_EQ(GLSwapState(), state);

  Ref<TGraphics> g = Make(64, 64, 0, 0, 2);
  MakeGraphicsCurrent(g.Get());
  GLContextPresent(0);  // whatever came before, the state is now 0
  calls = GLSwapIntervalCalls();
  GLContextPresent(1);
  GLContextPresent(1);
  EXPECT_EQ(GLSwapIntervalCalls(), calls + 1);
  EXPECT_EQ(GLSwapState(), 1);
  EXPECT_EQ(GLLastSwapInterval(), 1);
  GLContextPresent(5);  // counts as 1
  EXPECT_EQ(GLSwapIntervalCalls(), calls + 1);
  FlipFrame(0);
  EXPECT_EQ(GLSwapIntervalCalls(), calls + 2);
  EXPECT_EQ(GLSwapState(), 0);
  EXPECT_EQ(GLLastSwapInterval(), 0);
}

// Cell bits of one character in the embedded table.
bool GlyphBit(int code, int column, int row) {
  const auto* table = static_cast<const std::uint8_t*>(EmbedAddress("gldrawtextfont.bin"_s));
  if (code < 32 || code > 127) return false;
  return (table[row * 96 + (code - 32)] >> column) & 1;
}

TEST_F(GLGraphicsTest, DrawStringDrawsTheGlyphPixelsInPlace) {
  ASSERT_EQ(EmbedSize("gldrawtextfont.bin"_s), 1536);
  Ref<TGraphics> g = Make(640, 480, 0, 0, 2);
  MakeGraphicsCurrent(g.Get());
  glViewport(0, 0, 640, 480);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor4f(1, 1, 1, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  // Code 7 is not drawn but still takes its cell.
  const std::string text = "Hg\x07~";
  String s = String(text);
  const int x0 = 100, y0 = 50;
  GLDrawString(s, x0, y0);

  const int w = 8 * static_cast<int>(text.size()) + 8, h = 16 + 2;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
  // One pixel of margin around the text; GL rows count from the bottom.
  glReadPixels(x0 - 1, 480 - (y0 - 1) - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  int mismatches = 0, ink = 0;
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      int sx = px - 1, sy = py - 1;  // text coordinates, y downward
      const std::uint8_t* p = &pixels[(static_cast<std::size_t>(h - 1 - py) * w + px) * 4];
      bool lit = p[0] > 128 && p[1] > 128 && p[2] > 128;
      bool expected = false;
      if (sx >= 0 && sy >= 0 && sy < 16 && sx < 8 * static_cast<int>(text.size()))
        expected = GlyphBit(static_cast<unsigned char>(text[sx / 8]), sx % 8, sy);
      if (lit != expected) ++mismatches;
      if (lit) ++ink;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(ink, 40);

  // The caller's matrices and enables are untouched.
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_EQ(projection[0], 1.0f);
  EXPECT_EQ(projection[12], 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint binding = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
  EXPECT_EQ(binding, 0);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLGraphicsTest, DrawStringWithoutAContextDoesNothing) {
  GLContextMakeCurrent(nullptr);
  GLDrawString("abc"_s, 0, 0);
}

TEST_F(GLGraphicsTest, RepeatedOpenAndShutLeavesNothingBehind) {
  Ref<TGraphics> first = OpenGraphicsGL(320, 240, 0, 0, 0);
  ASSERT_FALSE(first.IsNull());
  ShutGraphics();
  SDL_Window* probe = WindowOf(GLSharedContext());
  int windows = TopLevelWindowCount(probe);
  for (int i = 0; i < 6; ++i) {
    Ref<TGraphics> g = OpenGraphicsGL(320 + i * 16, 240, 0, 0, 0);
    ASSERT_FALSE(g.IsNull());
    EXPECT_EQ(GLContextCount(), contextsBefore + 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLDrawString("frame"_s, 4, 4);
    FlipFrame(-1);
    Ref<TGraphics> extra = NewGraphics(64, 64, 0, 0, 0);
    EXPECT_EQ(GLContextCount(), contextsBefore + 2);
    DisposeGraphics(extra.Get());
    ShutGraphics();
    EXPECT_EQ(GLContextCount(), contextsBefore);
    EXPECT_EQ(TopLevelWindowCount(probe), windows);
  }
}

TEST_F(GLGraphicsTest, AttachedWindowReportsItsCurrentClientSize) {
  GLContext* shared = GLSharedContext();
  if (!shared) {
    Ref<TGraphics> warm = Make(8, 8, 0, 0, 0);  // makes the shared context
    shared = GLSharedContext();
  }
  ASSERT_NE(shared, nullptr);
  unsigned long native = test::CreateNativeWindow(WindowOf(shared), 200, 100);
  ASSERT_NE(native, 0u);

  Ref<TGraphics> g = BindGraphics(reinterpret_cast<void*>(native), FlagBackBuffer);
  ASSERT_FALSE(g.IsNull());
  made.push_back(g);
  GLContext* c = ContextOf(g);
  EXPECT_EQ(c->mode, ContextAttached);
  int w, h, d, hz, f;
  g->QuerySettings(w, h, d, hz, f);
  EXPECT_EQ(w, 200);
  EXPECT_EQ(h, 100);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(hz, 0);
  test::ResizeNativeWindow(WindowOf(shared), native, 300, 150);
  g->QuerySettings(w, h, d, hz, f);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 150);

  MakeGraphicsCurrent(g.Get());
  EXPECT_EQ(SDL_GL_GetCurrentContext(), c->renderContext);
  DisposeGraphics(g.Get());
  // The caller's window outlives the graphics object.
  EXPECT_TRUE(test::NativeWindowExists(WindowOf(shared), native));
  test::DestroyNativeWindow(WindowOf(shared), native);

  EXPECT_TRUE(BindGraphics(nullptr, 0).IsNull());
}

TEST_F(GLGraphicsTest, WindowEventsReachTheInputTablesThroughThePump) {
  Ref<TGraphics> g = OpenGraphicsGL(320, 240, 0, 0, 0);
  ASSERT_FALSE(g.IsNull());
  GLContext* c = ContextOf(g);
  PumpSystem();
  KeyPressCount(32);
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = SDL_GetWindowID(WindowOf(c));
  e.key.state = SDL_PRESSED;
  e.key.keysym.scancode = SDL_SCANCODE_SPACE;
  e.key.keysym.sym = SDLK_SPACE;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  e.type = SDL_KEYUP;
  e.key.state = SDL_RELEASED;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  EXPECT_EQ(KeyPressCount(32), 1);

  // Events of a window that belongs to no context get default handling only.
  SDL_Event other{};
  other.type = SDL_KEYDOWN;
  other.key.windowID = 0;
  other.key.keysym.scancode = SDL_SCANCODE_SPACE;
  EXPECT_EQ(GLContextWindowProc(other), 1);
  EXPECT_EQ(KeyPressCount(32), 0);
}

}  // namespace
}  // namespace cvx

namespace cvx {
namespace {

TEST_F(GLGraphicsTest, FullScreenDisplayStaysThroughThePump) {
  Ref<TGraphics> g = OpenGraphicsGL(1024, 768, 32, 0, 0);
  ASSERT_FALSE(g.IsNull());
  SDL_Window* window = WindowOf(ContextOf(g));
  for (int i = 0; i < 10; ++i) {
    PumpSystem();
    FlipFrame(-1);
    SDL_Delay(10);
  }
  EXPECT_EQ(GLFullScreenWindow(), window);
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);

  // A second window while full screen: buttons no longer capture the mouse,
  // and the full-screen window keeps the display until it loses the focus.
  Ref<TGraphics> extra = Make(64, 64, 0, 0, 0);
  SDL_Event e{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.windowID = SDL_GetWindowID(WindowOf(ContextOf(extra)));
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = SDL_PRESSED;
  EXPECT_EQ(GLContextWindowProc(e), 0);
  e.type = SDL_MOUSEBUTTONUP;
  e.button.state = SDL_RELEASED;
  EXPECT_EQ(GLContextWindowProc(e), 0);
  EXPECT_EQ(GLFullScreenWindow(), window);
}

}  // namespace
}  // namespace cvx

namespace cvx {
namespace {

// Pumps until cond holds or about three seconds have passed.
template <class Cond>
bool PumpUntil(Cond cond) {
  for (int i = 0; i < 300; ++i) {
    PumpSystem();
    if (cond()) return true;
    SDL_Delay(10);
  }
  return false;
}

TEST_F(GLGraphicsTest, RealFocusChangesMoveTheDisplayMode) {
  Ref<TGraphics> g = OpenGraphicsGL(1024, 768, 32, 0, 0);
  ASSERT_FALSE(g.IsNull());
  SDL_Window* full = WindowOf(ContextOf(g));
  Ref<TGraphics> other = Make(64, 64, 0, 0, 0);
  SDL_Window* small = WindowOf(ContextOf(other));

  // Focus the full-screen window first, so that moving it away is a change.
  SDL_SetWindowInputFocus(full);
  EXPECT_TRUE(PumpUntil([&] { return SDL_GetKeyboardFocus() == full; }));
  ASSERT_EQ(GLFullScreenWindow(), full);

  SDL_SetWindowInputFocus(small);
  EXPECT_TRUE(PumpUntil([] { return GLFullScreenWindow() == nullptr; }));
  EXPECT_FALSE(SDL_GetWindowFlags(full) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(AppIsSuspended(), 0);  // the small window's focus gain resumed it again

  SDL_SetWindowInputFocus(full);
  EXPECT_TRUE(PumpUntil([&] { return GLFullScreenWindow() == full; }));
  EXPECT_TRUE(SDL_GetWindowFlags(full) & SDL_WINDOW_FULLSCREEN);
}

}  // namespace
}  // namespace cvx
