// Loading resources through urls: a tile map whose level text and tile
// pictures are compiled into the program, drawn with the same picture loaded
// three more ways.
//
// Shows: registering embedded files and opening them as "incbin::<name>";
// reading text line by line from a url stream; an image strip (one picture,
// several frames); a bank filled from a url, opened itself as a url, and saved
// to a file that a plain path then opens. Every route gives the same pixels.
//
//   example-resources [--frames N]   N frames, then checks the drawn pixels
#include <corvex/app/app.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/keycodes.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/stream/bank.h>
#include <corvex/stream/embed.h>
#include <corvex/stream/url.h>
#include <corvex/vex2d/image.h>
#include <corvex/vex2d/vex2d.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace cvx::embedded {
extern const unsigned char example_tiles_png[];
extern const std::size_t example_tiles_png_size;
extern const unsigned char example_level_txt[];
extern const std::size_t example_level_txt_size;
}  // namespace cvx::embedded

using namespace cvx;

namespace {

constexpr int kTile = 16, kWidth = 320, kHeight = 240;
const char kTileLetters[] = "gwsy";  // grass, water, stone, sand: frames 0..3

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;
}

std::uint32_t PixelAt(int x, int y) { return ReadPixmap(x, y, 1, 1)->GetPixel(0, 0) & 0xFFFFFFu; }

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) return 1;

  // 1. Embedded files, under names of our choosing.
  EmbedRegister("tiles.png"_s, embedded::example_tiles_png, std::int32_t(embedded::example_tiles_png_size));
  EmbedRegister("level.txt"_s, embedded::example_level_txt, std::int32_t(embedded::example_level_txt_size));

  // 2. The level, one text line per row of tiles, through a url stream.
  std::vector<String> rows;
  Ref<TByteStream> level = OpenUrlForReading("incbin::level.txt"_s);
  if (!level) return 1;
  while (!level->AtEnd()) rows.push_back(level->ReadTextLine());
  level->Close();

  // 3. The tiles as a strip: four 16x16 cells of one picture become frames.
  // Solid images (flags 0): no mask colour, no filtering.
  Ref<TImage> tiles = OpenImageStrip("incbin::tiles.png"_s, kTile, kTile, 0, 4, 0);

  // 4. The same picture into a bank, which opens as a url itself...
  Ref<TBank> bank = BankFromUrl("incbin::tiles.png"_s);
  Ref<TImage> fromBank = OpenImage(Ref<TObject>(bank), 0);
  // ...and saved to a file, which a plain path opens.
  const char* tmp = std::getenv("TMPDIR");
  const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/corvex-tiles-" + std::to_string(getpid()) + ".png";
  BankToUrl(bank.Get(), String(path));
  Ref<TImage> fromFile = OpenImage(String(path), 0);
  std::remove(path.c_str());
  if (!tiles || !fromBank || !fromFile) {
    std::fprintf(stderr, "a picture did not load\n");
    return 1;
  }
  std::printf("level: %d rows; bank: %d bytes\n", int(rows.size()), BankLength(bank.Get()));

  for (int frame = 1; !KeyIsDown(key::Escape) && !AppQuitRequested(); ++frame) {
    SetClearColor(0, 0, 0);
    ClearScreen();
    SetDrawColor(255, 255, 255);
    for (int row = 0; row < int(rows.size()); ++row)
      for (int col = 0; col < rows[row].Length(); ++col) {
        const char* letter = std::strchr(kTileLetters, char(rows[row][col]));
        if (letter) BlitImage(tiles.Get(), float(col * kTile), float(row * kTile), int(letter - kTileLetters));
      }
    // The whole strip as loaded from the bank and from the file.
    DrawString("bank"_s, 8, 200);
    BlitImage(fromBank.Get(), 48, 200);
    DrawString("file"_s, 168, 200);
    BlitImage(fromFile.Get(), 208, 200);
    DrawString("map and tiles: incbin:: urls"_s, 8, 222);

    if (frames > 0 && frame == frames) {
      // Tile centres: the map's first tile is grass (frame 0), and the strip's
      // four cells drawn from the bank and from the file match the tiles.
      bool ok = PixelAt(8, 8) == 0x3C9A3Cu;
      for (int cell = 0; cell < 4; ++cell) {
        BlitImage(tiles.Get(), 0, 0, cell);
        const std::uint32_t tile = PixelAt(8, 8);
        ok = ok && PixelAt(48 + cell * kTile + 8, 208) == tile && PixelAt(208 + cell * kTile + 8, 208) == tile;
      }
      std::printf("the routes agree: %s\n", ok ? "yes" : "NO");
      return ok ? 0 : 1;
    }
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
