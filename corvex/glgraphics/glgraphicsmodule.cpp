// The OpenGL graphics module's initialiser.
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
  GLContextPrepare();
  EmbedRegister("gldrawtextfont.bin"_s, embedded::gldrawtextfont,
                static_cast<std::int32_t>(embedded::gldrawtextfont_size));
  SelectGraphicsDriver(GLDisplayDriver().Get(), FlagBackBuffer);
}

}  // namespace cvx
