// The OpenGL graphics module's initialiser.
#include <SDL.h>

#include <cstddef>
#include <cstdint>

#include "corvex/glgraphics/glgraphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"

namespace cvx::embedded {
extern const unsigned char gldrawtextfont[];
extern const std::size_t gldrawtextfont_size;
}  // namespace cvx::embedded

namespace cvx {

void InitGLGraphics() {
  static bool done = false;
  if (done) return;
  done = true;
  InitGraphics();
  InitPixmap();
  InitEmbed();
  // The window procedure decides what a full-screen window does when it loses
  // the focus (give the mode back, minimise); SDL must not do it on its own.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  EmbedRegister("gldrawtextfont.bin"_s, embedded::gldrawtextfont,
                static_cast<std::int32_t>(embedded::gldrawtextfont_size));
  SelectGraphicsDriver(GLDisplayDriver().Get(), FlagBackBuffer);
}

}  // namespace cvx
