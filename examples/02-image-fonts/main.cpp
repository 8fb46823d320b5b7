// Image fonts and DrawString: text in the built-in 8x16 font and in a TrueType
// font that the build embeds into the program.
//
// Shows: DrawString with the current colour, scale and rotation; StringWidth
// and StringHeight to place text; OpenImageFont over an "incbin::" url (the
// font file is compiled in, so the program needs no file beside it); and
// SetDrawFont to switch fonts, null going back to the built-in one.
//
//   example-image-fonts [--frames N]   N frames, then checks the title's pixels
#include <corvex/app/app.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/keycodes.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/stream/embed.h>
#include <corvex/vex2d/glyphfont.h>
#include <corvex/vex2d/vex2d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The font file's bytes, compiled in by the build (corvex_embed).
namespace cvx::embedded {
extern const unsigned char example_title_font[];
extern const std::size_t example_title_font_size;
}  // namespace cvx::embedded

using namespace cvx;

namespace {

constexpr int kWidth = 400, kHeight = 240;

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;
}

// Lit pixels (any channel above 128) in a rectangle of what was drawn.
int LitPixels(int x, int y, int w, int h) {
  Ref<TPixmap> area = ReadPixmap(x, y, w, h);
  int lit = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const std::uint32_t p = area->GetPixel(i, j);
      if (((p >> 16) & 0xFF) > 128 || ((p >> 8) & 0xFF) > 128 || (p & 0xFF) > 128) ++lit;
    }
  return lit;
}

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) return 1;

  // Registered under a name of our choosing, then opened like any url; 32
  // pixels high, smoothed (filtered glyph images).
  EmbedRegister("fonts/title.ttf"_s, embedded::example_title_font,
                static_cast<std::int32_t>(embedded::example_title_font_size));
  Ref<TGlyphFont> title = OpenImageFont("incbin::fonts/title.ttf"_s, 32, FontSmoothing);
  if (!title) {
    std::fprintf(stderr, "the embedded font could not be opened\n");
    return 1;
  }

  const String heading = "Corvex fonts"_s;
  for (int frame = 1; !KeyIsDown(key::Escape) && !AppQuitRequested(); ++frame) {
    SetClearColor(24, 24, 32);
    ClearScreen();

    // The TrueType font, centred by its measured width.
    SetDrawFont(title.Get());
    SetDrawColor(255, 210, 90);
    const int titleX = (kWidth - StringWidth(heading)) / 2;
    DrawString(heading, float(titleX), 16);
    const int titleHeight = StringHeight();

    // The built-in font (null), in a few colours and sizes.
    SetDrawFont(nullptr);
    SetDrawColor(255, 255, 255);
    DrawString("The built-in 8x16 font"_s, 16, 80);
    SetDrawColor(120, 200, 255);
    SetDrawScale(2, 2);
    DrawString("Scaled x2"_s, 16, 104);
    SetDrawScale(1, 1);
    // Rotation turns text about the drawing handle, here the text's centre.
    SetDrawColor(140, 255, 140);
    SetDrawHandle(StringWidth("Round and round"_s) / 2.0f, StringHeight() / 2.0f);
    SetDrawRotation(float(frame % 360));
    DrawString("Round and round"_s, 300, 170);
    SetDrawRotation(0);
    SetDrawHandle(0, 0);
    SetDrawColor(255, 255, 255);
    DrawString("Escape ends"_s, 16, 216);

    if (frames > 0 && frame == frames) {
      // The title covers part of its box; the space right of it stays dark.
      const int inTitle = LitPixels(titleX, 16, StringWidth(heading), titleHeight);
      const int beside = LitPixels(kWidth - 8, 16, 8, titleHeight);
      std::printf("title: %d lit pixels, beside it: %d\n", inTitle, beside);
      return inTitle > 200 && beside == 0 ? 0 : 1;
    }
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
