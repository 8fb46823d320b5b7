// The pointer over SDL's mouse calls.
#include <SDL.h>

#include "corvex/platform/pointer.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/video.h"

namespace cvx {

void PlatformWarpPointer(int x, int y) {
  if (!VideoRunning()) return;
  if (SDL_Window* window = ActiveWindow())
    SDL_WarpMouseInWindow(window, x, y);
  else
    SDL_WarpMouseGlobal(x, y);
}

void PlatformSetPointerVisible(int visible) {
  // SDL keeps a single shown/hidden state, so calls never nest.
  SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace cvx
