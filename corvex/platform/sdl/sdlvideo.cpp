// SDL's video subsystem, started only on a display the user can see.
#include <SDL.h>

#include <cstdlib>

#include "corvex/platform/video.h"

namespace cvx {

bool VideoRunning() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

bool StartVideo(std::string* reason) {
  if (VideoRunning()) return true;
  std::string tried;
  // The choice is made again on every attempt: the environment may change.
  static bool chosenHere = false;
  if (chosenHere || !SDL_GetHint(SDL_HINT_VIDEODRIVER)) {
    chosenHere = true;
    // Only drivers that show something. Wayland is tried only when its
    // display is named: its library complains on standard error otherwise.
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string drivers;
    if (x11 && *x11) drivers = "x11";
    if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
    if (drivers.empty()) {
      drivers = "x11";
      tried = " (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  if (reason) *reason = std::string(SDL_GetError()) + tried;
  return false;
}

}  // namespace cvx
