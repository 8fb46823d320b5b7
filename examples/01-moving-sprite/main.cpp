// A window with a moving sprite: the smallest complete Corvex game loop.
//
// Shows: the one-call entry point (RunProgram), opening a window, making an
// image in code, moving it by the time that really passed (Millis), and frame
// pacing with FlipFrame, which shows the frame and waits for the next one.
//
//   example-moving-sprite              runs until Escape or the window closes
//   example-moving-sprite --frames N   runs N frames, then checks the picture
#include <corvex/app/app.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/keycodes.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/system/system.h>
#include <corvex/vex2d/image.h>
#include <corvex/vex2d/vex2d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace cvx;

namespace {

constexpr int kWidth = 320, kHeight = 240, kBall = 32;
constexpr std::uint32_t kBallColour = 0xFFFF9020u;  // ARGB: opaque orange

// A ball drawn pixel by pixel into the image's pixmap: inside the circle it is
// orange with a darker rim, outside it is transparent.
Ref<TImage> MakeBall() {
  Ref<TImage> ball = NewImage(kBall, kBall);
  Ref<TPixmap> pixels = LockImagePixmap(ball.Get());
  for (int y = 0; y < kBall; ++y)
    for (int x = 0; x < kBall; ++x) {
      const float dx = x + 0.5f - kBall / 2.0f, dy = y + 0.5f - kBall / 2.0f;
      const float d2 = dx * dx + dy * dy, r = kBall / 2.0f;
      std::uint32_t argb = 0;                          // transparent
      if (d2 < r * r) argb = 0xFFB05010u;              // rim
      if (d2 < (r - 3) * (r - 3)) argb = kBallColour;  // body
      pixels->SetPixel(x, y, argb);
    }
  UnlockImagePixmap(ball.Get());
  CentreImageHandle(ball.Get());  // BlitImage then places the ball by its centre
  return ball;
}

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;  // no limit
}

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  // Windowed (depth 0) at 60 Hz. When no window can be opened the framework
  // has already said why in one line.
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) return 1;
  SetClearColor(16, 24, 48);
  Ref<TImage> ball = MakeBall();

  float x = kWidth / 2.0f, y = kHeight / 2.0f;
  float vx = 90, vy = 60;  // pixels per second
  int last = Millis();
  const int start = last;
  int frame = 0;
  while (!KeyIsDown(key::Escape) && !AppQuitRequested()) {
    // Moving by elapsed time keeps the speed the same at any frame rate.
    const int now = Millis();
    const float seconds = (now - last) / 1000.0f;
    last = now;
    x += vx * seconds;
    y += vy * seconds;
    if (x < kBall / 2 || x > kWidth - kBall / 2) vx = -vx;
    if (y < kBall / 2 || y > kHeight - kBall / 2) vy = -vy;

    ClearScreen();
    BlitImage(ball.Get(), x, y);
    DrawString("Escape ends"_s, 8, 8);

    if (frames > 0 && ++frame == frames) {
      // The last frame of a timed run: the ball's centre must be orange and a
      // far corner the clear colour, read back from what was drawn.
      const std::uint32_t centre = ReadPixmap(int(x), int(y), 1, 1)->GetPixel(0, 0) & 0xFFFFFFu;
      const std::uint32_t corner = ReadPixmap(kWidth - 1, kHeight - 1, 1, 1)->GetPixel(0, 0) & 0xFFFFFFu;
      const int elapsed = Millis() - start;
      std::printf("%d frames in %d ms; ball centre %06X, corner %06X\n", frames, elapsed, centre, corner);
      const bool moved = x != kWidth / 2.0f || y != kHeight / 2.0f;
      return moved && centre == (kBallColour & 0xFFFFFFu) && corner == 0x101830u ? 0 : 1;
    }
    // Shows the frame; -1 paces it to the display's rate (60 Hz here), on the
    // vertical retrace when the driver can, by waiting in software otherwise.
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
