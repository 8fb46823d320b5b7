// Hostile image headers: a few bytes that claim a huge image must be refused
// without allocating it. Each load runs in a forked child, whose peak virtual
// size (VmPeak, reset at the fork) shows the most memory the load ever held,
// whichever library allocated it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "corvex/pixmap/pixmap.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::ByteWriter;

constexpr std::int64_t kMiB = 1 << 20;

std::int64_t VmPeakBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmPeak:", 0) == 0) return std::stoll(line.substr(7)) * 1024;
  }
  return -1;
}

struct Outcome {
  int result = -1;  // 0 null, 1 a pixmap, 2 an exception, -1 the child died
  std::int64_t peakGrowth = 0;
};

// PixmapLoad over a stream of the bytes, in a child process.
Outcome LoadInChild(const Bytes& bytes) {
  test::InitDecoders();
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Outcome o;
    const std::int64_t before = VmPeakBytes();
    try {
      Ref<TMemoryStream> stream = test::ReadStream(bytes);
      o.result = PixmapLoad(Ref<TObject>(stream.Get())) ? 1 : 0;
    } catch (...) {
      o.result = 2;
    }
    o.peakGrowth = VmPeakBytes() - before;
    ssize_t written = write(fds[1], &o, sizeof o);
    _exit(written == sizeof o ? 0 : 1);
  }
  close(fds[1]);
  Outcome o;
  if (read(fds[0], &o, sizeof o) != sizeof o) o = Outcome{};
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return o;
}

// The JPEG file's frame header patched to width x height, the file cut right
// after the header of its first scan: no coded data at all.
Bytes JpegHeaderOnly(bool progressive, int width, int height) {
  Bytes pixels(16 * 16 * 3, 128);
  Bytes file = test::EncodeJpeg(16, 16, 3, pixels, 90, progressive);
  const std::uint8_t frame = progressive ? 0xC2 : 0xC0;
  for (std::size_t i = 0; i + 9 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == frame) {
      file[i + 5] = static_cast<std::uint8_t>(height >> 8), file[i + 6] = static_cast<std::uint8_t>(height);
      file[i + 7] = static_cast<std::uint8_t>(width >> 8), file[i + 8] = static_cast<std::uint8_t>(width);
    }
    if (file[i] == 0xFF && file[i + 1] == 0xDA) {
      file.resize(i + 2 + (file[i + 2] << 8 | file[i + 3]));
      break;
    }
  }
  return file;
}

Bytes BmpHeader(int width, int height, int bitsPerPixel, std::size_t rowBytesPresent) {
  ByteWriter w;
  w.U8('B').U8('M').U32(0).U32(0).U32(54).U32(40);
  w.U32(static_cast<std::uint32_t>(width)).U32(static_cast<std::uint32_t>(height)).U16(1).U16(bitsPerPixel);
  w.U32(0).U32(0).U32(2835).U32(2835).U32(0).U32(0);
  return w.Raw(Bytes(rowBytesPresent, 0x55)).bytes;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

// A small valid PNG whose header is rewritten to claim width x height.
Bytes PngClaiming(int width, int height) {
  test::PngSpec spec;
  spec.width = 4, spec.height = 4, spec.colourType = 6;  // RGBA
  spec.rows.assign(4 * 4 * 4, 9);
  Bytes file = test::EncodePng(spec);
  // Signature (8), IHDR length and type (8), then width and height.
  for (int k = 0; k < 4; ++k) {
    file[16 + k] = static_cast<std::uint8_t>(width >> (24 - 8 * k));
    file[20 + k] = static_cast<std::uint8_t>(height >> (24 - 8 * k));
  }
  const std::uint32_t crc = Crc32(file.data() + 12, 17);
  for (int k = 0; k < 4; ++k) file[29 + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
  return file;
}

TEST(HostileImages, TinyHeadersClaimingHugeImagesAllocateLittle) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  ByteWriter tga;  // run-length, 32 bits, 4096 x 4096, no packets at all
  tga.U8(0).U8(0).U8(10).U16(0).U16(0).U8(0).U16(0).U16(0).U16(4096).U16(4096).U8(32).U8(0);
  const Case cases[] = {
      {"progressive JPEG", JpegHeaderOnly(true, 8192, 8192)},
      {"baseline JPEG", JpegHeaderOnly(false, 8192, 8192)},
      {"32-bit BMP", BmpHeader(8192, 8192, 32, 64)},
      {"1-bit BMP", BmpHeader(8192, 8192, 1, 64)},
      {"run-length TGA", tga.bytes},
      {"RGBA PNG", PngClaiming(8192, 8192)},
  };
  for (const Case& c : cases) {
    ASSERT_LT(c.bytes.size(), 2000u) << c.name;
    Outcome o = LoadInChild(c.bytes);
    EXPECT_EQ(o.result, 0) << c.name;
    EXPECT_LT(o.peakGrowth, 32 * kMiB) << c.name << ": " << o.peakGrowth / kMiB << " MiB";
  }
}

TEST(HostileImages, LargeImagesWithTheirDataStillDecode) {
  // A flat picture compresses far below a byte a block, yet stays within the bound.
  const int side = 2048;
  Bytes flat(static_cast<std::size_t>(side) * side * 3, 200);
  for (bool progressive : {false, true}) {
    Bytes file = test::EncodeJpeg(side, side, 3, flat, 75, progressive);
    Ref<TPixmap> p = PixmapLoad(Ref<TObject>(test::ReadStream(file).Get()));
    ASSERT_TRUE(p) << progressive << " " << file.size();
    EXPECT_EQ(p->width, side);
    EXPECT_NEAR(static_cast<int>(p->GetPixel(side - 1, side - 1) & 255), 200, 2);
  }
  // A BMP past the unchecked size: with a third of its rows it decodes as far
  // as they go, with a tenth it is refused.
  const int w = 1200, h = 1200, rowBytes = w * 3;
  Ref<TPixmap> third = PixmapLoad(Ref<TObject>(test::ReadStream(BmpHeader(w, h, 24, rowBytes * h / 3)).Get()));
  ASSERT_TRUE(third);
  EXPECT_EQ(third->GetPixel(0, h - 1), 0xFF555555u);
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(BmpHeader(w, h, 24, rowBytes * h / 10)).Get())));
}

TEST(HostileImages, ThePixelLimitCanBeLoweredAndRaised) {
  test::InitDecoders();
  EXPECT_EQ(PixmapDecodeLimit(), kDefaultPixmapDecodeLimit);
  EXPECT_EQ(kDefaultPixmapDecodeLimit, 1 << 26);
  const Bytes fiveByFive = BmpHeader(5, 5, 24, 16 * 5);
  const Bytes progressive = test::EncodeJpeg(5, 5, 1, Bytes(25, 90), 90, true);
  SetPixmapDecodeLimit(24);
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(fiveByFive).Get())));
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(progressive).Get())));
  SetPixmapDecodeLimit(25);
  EXPECT_TRUE(PixmapLoad(Ref<TObject>(test::ReadStream(fiveByFive).Get())));
  EXPECT_TRUE(PixmapLoad(Ref<TObject>(test::ReadStream(progressive).Get())));
  SetPixmapDecodeLimit(0);
  EXPECT_EQ(PixmapDecodeLimit(), 1);
  SetPixmapDecodeLimit(kDefaultPixmapDecodeLimit);
}

}  // namespace
}  // namespace cvx
