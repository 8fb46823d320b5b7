// Collision layers between two sprites: a ring that stands still and a small
// square that slides across it, through the ring's hole.
//
// Shows: writing a placed image into a collision layer (ProbeImage with a
// write mask), probing another image against a mask of layers, which answers
// the ids of what it touches, pixel-exact: inside the ring's hole the boxes
// overlap but nothing collides. A plain rectangle (ProbeRect) is a wall.
//
//   example-collision-layers [--frames N]   N frames, then checks what it saw
#include <corvex/app/app.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/keycodes.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/vex2d/collision.h>
#include <corvex/vex2d/image.h>
#include <corvex/vex2d/vex2d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace cvx;

namespace {

constexpr int kWidth = 320, kHeight = 160;
// Layer k is bit k of a mask.
constexpr std::uint32_t kRingLayer = 1u << 0;
constexpr std::uint32_t kWallLayer = 1u << 1;
constexpr float kRingX = 160, kRingY = 80, kWallX = 290;

// A ring 64 pixels across with a hole 36 across: opaque white between the two
// circles, transparent elsewhere. Transparent pixels never collide.
Ref<TImage> MakeRing() {
  Ref<TImage> ring = NewImage(64, 64);
  Ref<TPixmap> pixels = LockImagePixmap(ring.Get());
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const float dx = x + 0.5f - 32, dy = y + 0.5f - 32, d2 = dx * dx + dy * dy;
      pixels->SetPixel(x, y, d2 < 32 * 32 && d2 >= 18 * 18 ? 0xFFFFFFFFu : 0);
    }
  UnlockImagePixmap(ring.Get());
  CentreImageHandle(ring.Get());
  return ring;
}

Ref<TImage> MakeSquare() {
  Ref<TImage> square = NewImage(12, 12);
  Ref<TPixmap> pixels = LockImagePixmap(square.Get());
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) pixels->SetPixel(x, y, 0xFFFFFFFFu);
  UnlockImagePixmap(square.Get());
  CentreImageHandle(square.Get());
  return square;
}

// What the square touches at (x, y): "ring", "wall" or "" for nothing. The
// layers are rebuilt for the probe: cleared, then the ring and the wall are
// written in (collide mask 0: they test nothing themselves).
String Touching(TImage* ring, TImage* square, float x, float y) {
  ClearLayers(0);
  ProbeImage(ring, kRingX, kRingY, 0, 0, kRingLayer, "ring"_s);
  ProbeRect(kWallX, 20, 12, 120, 0, kWallLayer, "wall"_s);
  // Collide against both layers, write nowhere.
  ObjectArray hits = ProbeImage(square, x, y, 0, kRingLayer | kWallLayer, 0, nullptr);
  if (!hits || hits->Length() == 0) return ""_s;
  return String::FromObject((*hits)[0]);
}

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;
}

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) return 1;
  Ref<TImage> ring = MakeRing(), square = MakeSquare();

  if (frames > 0) {
    // Places whose answers are known: in the hole the boxes overlap, yet
    // nothing is hit; on the band it is the ring; on the wall the wall.
    const bool ok = Touching(ring.Get(), square.Get(), kRingX, kRingY) == ""_s &&
                    Touching(ring.Get(), square.Get(), kRingX - 26, kRingY) == "ring"_s &&
                    Touching(ring.Get(), square.Get(), kWallX + 6, kRingY) == "wall"_s &&
                    Touching(ring.Get(), square.Get(), 20, kRingY) == ""_s;
    std::printf("known placements: %s\n", ok ? "right" : "WRONG");
    if (!ok) return 1;
  }

  float x = 20;
  for (int frame = 1; !KeyIsDown(key::Escape) && !AppQuitRequested(); ++frame) {
    x += 1.5f;
    if (x > kWidth) x = 0;
    const String hit = Touching(ring.Get(), square.Get(), x, kRingY);

    SetClearColor(20, 20, 28);
    ClearScreen();
    SetDrawColor(110, 110, 130);
    FillRect(kWallX, 20, 12, 120);
    SetDrawColor(200, 200, 220);
    BlitImage(ring.Get(), kRingX, kRingY);
    // The colour multiplies the white square: red on the ring, yellow on the
    // wall, green when free.
    if (hit == "ring"_s)
      SetDrawColor(255, 40, 40);
    else if (hit == "wall"_s)
      SetDrawColor(255, 220, 0);
    else
      SetDrawColor(40, 255, 40);
    BlitImage(square.Get(), x, kRingY);
    SetDrawColor(255, 255, 255);
    DrawString(hit.IsEmpty() ? "free"_s : Concat("touching the "_s, hit), 8, 8);

    if (frames > 0 && frame == frames) {
      const std::uint32_t seen = ReadPixmap(int(x), int(kRingY), 1, 1)->GetPixel(0, 0) & 0xFFFFFFu;
      const std::uint32_t wanted = hit == "ring"_s ? 0xFF2828u : hit == "wall"_s ? 0xFFDC00u : 0x28FF28u;
      std::printf("square at x=%.1f: %s, drawn %06X\n", x, hit.ToStd().c_str(), seen);
      return seen == wanted ? 0 : 1;
    }
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
