// A game programmer's first Corvex program, built against Corvex as a package:
// it loads a PNG through PixmapLoad, draws it into an OpenGL window and reads
// the pixels back. Exits 0 when everything it saw was right, 1 otherwise.
//   probe <folder to write the PNG into>
#include <corvex/glvex2d/glvex2d.h>
#include <corvex/graphics/graphics.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/pixmap/png/pngloader.h>
#include <corvex/runtime/startup.h>
#include <corvex/version.h>
#include <corvex/vex2d/image.h>
#include <corvex/vex2d/vex2d.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A 2x2 RGB PNG: red, green on the top row; blue, white below.
const unsigned char kProbePng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49,
    0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee,
    0x05, 0xfb, 0xf1, 0xab, 0xba, 0x77, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const std::uint32_t kColours[2][2] = {{0xFF0000u, 0x00FF00u}, {0x0000FFu, 0xFFFFFFu}};

int failures = 0;

void Expect(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

int Probe(int argc, char** argv) {
  Expect(std::strcmp(cvx::Version(), CORVEX_VERSION_STRING) == 0, "the library's version is the headers' version");
  if (argc < 2) {
    std::fprintf(stderr, "usage: probe <folder>\n");
    return 2;
  }
  const std::string path = std::string(argv[1]) + "/probe.png";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(kProbePng, sizeof kProbePng, 1, file) != 1 || std::fclose(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 2;
  }

  cvx::InitPNGLoader();
  cvx::InitGLVex2D();
  cvx::Ref<cvx::TPixmap> pixmap = cvx::PixmapLoad(cvx::String(path.c_str()));
  Expect(pixmap.Get() != nullptr && pixmap->width == 2 && pixmap->height == 2, "PixmapLoad reads the 2x2 PNG");
  if (failures) return 1;

  Expect(cvx::OpenGraphics(320, 240, 0, 0, 0).Get() != nullptr, "an OpenGL window opens");
  if (failures) return 1;
  cvx::SetClearColor(0, 0, 0);
  cvx::ClearScreen();
  cvx::Ref<cvx::TImage> image = cvx::TImage::FromSource(cvx::Ref<cvx::TObject>(pixmap), 0, 0, 0, 0);
  cvx::BlitImage(image.Get(), 10, 20);
  cvx::Ref<cvx::TPixmap> back = cvx::ReadPixmap(10, 20, 2, 2);
  bool same = back.Get() != nullptr;
  for (int y = 0; same && y < 2; ++y)
    for (int x = 0; x < 2; ++x) same = same && (back->GetPixel(x, y) & 0xFFFFFFu) == kColours[y][x];
  Expect(same, "the drawn picture reads back pixel for pixel");
  cvx::ShutGraphics();
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  return cvx::RunGuarded(Probe, argc, argv);
}
