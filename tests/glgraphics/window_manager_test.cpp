// A full-screen display on a desktop with a window manager (openbox started
// on the test display for the suite's length): the backend sees the manager,
// the manager puts the window in place, and closing takes its window away.
// Display tests never run concurrently, so no other test sees the manager.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "corvex/glgraphics/glgraphics.h"
#include "corvex/platform/sdl/sdlx11window.h"
#include "tests/glgraphics/xwindows.h"

extern char** environ;

namespace cvx {
namespace {

SDL_Window* WindowOf(const Ref<TGraphics>& g) {
  auto* gl = dynamic_cast<TGLContextGraphics*>(g.Get());
  return gl && gl->Context() ? static_cast<SDL_Window*>(gl->Context()->window) : nullptr;
}

// Polls condition for up to ten seconds (a loaded machine starts openbox
// slowly).
template <class Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    SDL_PumpEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

TEST(GLGraphicsUnderAWindowManager, TheManagerPlacesTheFullScreenWindowAndClosingDestroysIt) {
  InitGLGraphics();
  if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "no display";
  SelectGraphicsDriver(GLDisplayDriver().Get(), FlagBackBuffer);
  Ref<TGraphics> probe = NewGraphics(64, 48, 0, 0, 0);
  ASSERT_FALSE(probe.IsNull());
  SDL_Window* probeWindow = WindowOf(probe);
  ASSERT_FALSE(detail::X11WindowManagerRuns(probeWindow)) << "the test display already has a window manager";
  EXPECT_FALSE(detail::X11WindowManagerRuns(nullptr));

  char program[] = "openbox";
  char* argv[] = {program, nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t manager = 0;
  const int spawned = posix_spawnp(&manager, program, &quiet, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) {
    DisposeGraphics(probe.Get());
    GTEST_SKIP() << "openbox is not installed";
  }
  EXPECT_TRUE(Eventually([&] { return detail::X11WindowManagerRuns(probeWindow); }));

  Ref<TGraphics> full = NewGraphics(1024, 768, 32, 60, 2);
  ASSERT_FALSE(full.IsNull());
  SDL_Window* window = WindowOf(full);
  const unsigned long native = test::NativeWindowOf(window);
  ASSERT_NE(native, 0u);
  EXPECT_EQ(GLFullScreenWindow(), window);
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  // Made away from its place, the window is where full screen puts it.
  EXPECT_TRUE(Eventually([&] {
    test::XGeometry g = test::ClientGeometry(window);
    return g.x == 0 && g.y == 0 && g.width == 1024 && g.height == 768;
  }));
  DisposeGraphics(full.Get());
  EXPECT_EQ(GLFullScreenWindow(), nullptr);
  EXPECT_FALSE(test::NativeWindowExists(probeWindow, native));

  kill(manager, SIGTERM);
  int status = 0;
  waitpid(manager, &status, 0);
  EXPECT_TRUE(Eventually([&] { return !detail::X11WindowManagerRuns(probeWindow); }));
  ShutGraphics();
  DisposeGraphics(probe.Get());
}

}  // namespace
}  // namespace cvx
