#include "corvex/platform/choice.h"

#include <cstdlib>
#include <string_view>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/platform/headless/headlesshost.h"
#include "corvex/platform/headless/headlessvex2d.h"
#include "corvex/runtime/log.h"
#include "corvex/system/system.h"

namespace cvx {

namespace {
int gChosen = PlatformAuto;
}

int PlatformFromEnvironment() {
  const char* value = std::getenv("CORVEX_PLATFORM");
  if (!value) return PlatformAuto;
  const std::string_view name(value);
  if (name == "headless") return PlatformHeadless;
  if (name == "sdl" || name == "display") return PlatformDisplay;
  return PlatformAuto;
}

int ResolvePlatform(int fromEnvironment, int wish, bool displayAvailable, bool allowHeadless) {
  int want = fromEnvironment != PlatformAuto ? fromEnvironment : wish;
  if (want == PlatformHeadless) return PlatformHeadless;
  if (!displayAvailable && allowHeadless && want == PlatformAuto) return PlatformHeadless;
  return PlatformDisplay;
}

void InitHeadlessPlatform() {
  static bool done = false;
  if (done) return;
  done = true;
  InitSystem();
  Ref<THostSystem> inner = CurrentHostSystem();
  SetHostSystem(new THeadlessHostSystem(inner.Get()));
  InitHeadlessVex2D();
}

int InitPlatform(int wish, bool allowHeadless) {
  if (gChosen != PlatformAuto) return gChosen;
  const int fromEnvironment = PlatformFromEnvironment();
  bool displayAvailable = false;
  if (ResolvePlatform(fromEnvironment, wish, true, allowHeadless) == PlatformDisplay) {
    InitGraphics();
    displayAvailable = GraphicsDisplayAvailable() != 0;
  }
  gChosen = ResolvePlatform(fromEnvironment, wish, displayAvailable, allowHeadless);
  if (gChosen == PlatformHeadless) {
    if (wish != PlatformHeadless && fromEnvironment != PlatformHeadless)
      LogInfo("no display could be opened: running headless");
    InitHeadlessPlatform();
  } else {
    InitGLVex2D();
  }
  return gChosen;
}

int CurrentPlatform() { return gChosen; }

}  // namespace cvx
