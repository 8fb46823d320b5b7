#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <vector>

#include "corvex/pixmap/bmp/bmploader.h"
#include "corvex/pixmap/jpeg/jpegloader.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/memorystream.h"
#include "tests/pixmap/imagefiles.h"
#include "tests/support/log_capture.h"

namespace cvx {
namespace {

using test::Bytes;

// A stream over bytes whose reads fail once they reach failAt, and which can
// pretend to have no position (as a socket has none).
class TTestStream : public TByteStream {
 public:
  TTestStream(Bytes bytes, std::int32_t failAt, bool positioned)
      : bytes_(std::move(bytes)), failAt_(failAt), positioned_(positioned) {}
  std::int32_t Position() override { return positioned_ ? pos_ : -1; }
  std::int32_t Size() override { return static_cast<std::int32_t>(bytes_.size()); }
  int AtEnd() override { return pos_ >= Size(); }
  std::int32_t Seek(std::int32_t position) override { return pos_ = position; }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    ++reads;
    if (pos_ + count > failAt_) throw TStreamReadError();
    std::int32_t n = std::min(count, Size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  int reads = 0;

 private:
  Bytes bytes_;
  std::int32_t pos_ = 0;
  std::int32_t failAt_;
  bool positioned_;
};

// A decoder added by a test; it stays in the list for the rest of the
// program, so it only acts while `mode` says so.
class TScriptedDecoder final : public TPixmapDecoder {
 public:
  enum Mode { kIdle, kStreamError, kOtherError, kRecordStart };
  Ref<TPixmap> DecodePixmap(TByteStream* stream) override {
    switch (mode) {
      case kStreamError:
        stream->ReadUInt8();
        throw TStreamReadError();
      case kOtherError:
        throw TRuntimeError("decoder bug");
      case kRecordStart:
        starts.push_back(stream->Position());
        stream->ReadInt32();  // move the position on; the next decoder must not see it
        return nullptr;
      default:
        return nullptr;
    }
  }
  static inline Mode mode = kIdle;
  static inline std::vector<std::int32_t> starts;
};

Bytes SmallPng() {
  Ref<TPixmap> p = test::PatternPixmap(3, 2, PIXFMT_RGB888);
  return test::SavePngBytes(p);
}

class PixmapLoadTest : public testing::Test {
 protected:
  void SetUp() override {
    test::InitDecoders();
    static TScriptedDecoder* scripted = new TScriptedDecoder();  // registered once, newest
    (void)scripted;
    TScriptedDecoder::mode = TScriptedDecoder::kIdle;
    TScriptedDecoder::starts.clear();
  }
};

TEST_F(PixmapLoadTest, DecodersAreAskedNewestFirstWithTheBuiltInsInTheirOrder) {
  std::vector<const std::type_info*> order;
  for (TPixmapDecoder* d = FirstPixmapDecoder(); d; d = d->Next()) order.push_back(&typeid(*d));
  ASSERT_GE(order.size(), 5u);
  EXPECT_EQ(*order[0], typeid(TScriptedDecoder));
  std::size_t n = order.size();
  EXPECT_EQ(*order[n - 4], typeid(TTgaDecoder));
  EXPECT_EQ(*order[n - 3], typeid(TPngDecoder));
  EXPECT_EQ(*order[n - 2], typeid(TJpegDecoder));
  EXPECT_EQ(*order[n - 1], typeid(TBmpDecoder));
  // Initialising again registers nothing more.
  test::InitDecoders();
  std::size_t again = 0;
  for (TPixmapDecoder* d = FirstPixmapDecoder(); d; d = d->Next()) ++again;
  EXPECT_EQ(again, n);
}

TEST_F(PixmapLoadTest, EveryDecoderStartsAtTheStreamsStartPosition) {
  Bytes png = SmallPng();
  Bytes data(5 + png.size(), 0xAB);
  std::copy(png.begin(), png.end(), data.begin() + 5);
  Ref<TMemoryStream> stream = test::ReadStream(data);
  stream->Seek(5);
  TScriptedDecoder::mode = TScriptedDecoder::kRecordStart;
  Ref<TPixmap> p = PixmapLoad(Ref<TObject>(stream));
  ASSERT_TRUE(p);  // the TGA decoder, asked before PNG, read and refused 18 bytes
  EXPECT_EQ(p->width, 3);
  EXPECT_EQ(TScriptedDecoder::starts, std::vector<std::int32_t>({5}));
}

TEST_F(PixmapLoadTest, StreamErrorsInADecoderAreFailedDecodes) {
  TScriptedDecoder::mode = TScriptedDecoder::kStreamError;
  Bytes png = SmallPng();
  Ref<TPixmap> p = PixmapLoad(Ref<TObject>(test::ReadStream(png)));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGB888);

  // Reads that fail part-way through every decoder: null, nothing escapes.
  TScriptedDecoder::mode = TScriptedDecoder::kIdle;
  Ref<TTestStream> failing = new TTestStream(png, 30, true);
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(failing)));
}

TEST_F(PixmapLoadTest, OtherErrorsPropagate) {
  TScriptedDecoder::mode = TScriptedDecoder::kOtherError;
  Bytes png = SmallPng();
  EXPECT_THROW(PixmapLoad(Ref<TObject>(test::ReadStream(png))), TRuntimeError);
}

TEST_F(PixmapLoadTest, AStreamWithoutPositionIsNotTried) {
  Bytes png = SmallPng();
  Ref<TTestStream> socket = new TTestStream(png, 1 << 30, false);
  TScriptedDecoder::mode = TScriptedDecoder::kRecordStart;
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(socket)));
  EXPECT_EQ(socket->reads, 0);
  EXPECT_TRUE(TScriptedDecoder::starts.empty());
}

TEST_F(PixmapLoadTest, UnopenableUrlsAndUnknownDataGiveNull) {
  EXPECT_FALSE(PixmapLoad("no/such/picture.png"_s));
  EXPECT_FALSE(PixmapLoad("incbin::no such resource"_s));
  Bytes junk(100, 0x11);
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(junk))));
  Bytes empty;
  EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(empty))));
}

TEST_F(PixmapLoadTest, AFailedLoadLogsOneWarningThatSaysWhy) {
  auto only = [](const test::LogCapture& log) {
    EXPECT_EQ(log.Warnings().size(), 1u);
    return log.Warnings().empty() ? std::string() : log.Warnings().front();
  };
  {
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PixmapLoad("no/such/picture.png"_s));
    const std::string why = only(log);
    EXPECT_NE(why.find("no/such/picture.png"), std::string::npos) << why;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
  }
  {
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PixmapLoad("incbin::no such resource"_s));
    const std::string why = only(log);
    EXPECT_NE(why.find("incbin::no such resource"), std::string::npos) << why;
    EXPECT_NE(why.find("no embedded file"), std::string::npos) << why;
  }
  {
    // A PNG whose data breaks after the signature: libpng's own message.
    Bytes png = SmallPng();
    for (std::size_t i = 16; i < png.size(); ++i) png[i] = 0x5A;
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(png))));
    const std::string why = only(log);
    EXPECT_NE(why.find("PNG: "), std::string::npos) << why;
    EXPECT_GT(why.size(), std::string("PixmapLoad a stream: PNG: ").size() + 3) << why;
  }
  {
    // A JPEG cut right after its start: libjpeg's own message.
    Bytes grey(16 * 16, 0x80);
    Bytes jpeg = test::EncodeJpeg(16, 16, 1, grey);
    jpeg.resize(40);
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(jpeg))));
    const std::string why = only(log);
    EXPECT_NE(why.find("JPEG: "), std::string::npos) << why;
  }
  {
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PixmapLoad(Ref<TObject>(test::ReadStream(Bytes(100, 0x11)))));
    EXPECT_NE(only(log).find("no decoder"), std::string::npos);
  }
  {
    // Success says nothing.
    test::LogCapture log(LogLevel::Warning);
    EXPECT_TRUE(PixmapLoad(Ref<TObject>(test::ReadStream(SmallPng()))));
    EXPECT_TRUE(log.Warnings().empty());
  }
}

TEST_F(PixmapLoadTest, LoadsFromEmbeddedResourcesAndFiles) {
  static const Bytes png = SmallPng();
  EmbedRegister("pixmaptest/pattern.png", png.data(), static_cast<std::int32_t>(png.size()));
  Ref<TPixmap> embedded = PixmapLoad("incbin::pixmaptest/pattern.png"_s);
  ASSERT_TRUE(embedded);
  EXPECT_EQ(embedded->GetPixel(2, 1), test::PatternPixmap(3, 2, PIXFMT_RGB888)->GetPixel(2, 1));

  Ref<TPixmap> p = test::PatternPixmap(4, 4, PIXFMT_RGBA8888);
  ASSERT_EQ(PixmapSavePNG(p, "pixmaptest_saved.png"_s, 9), 1);
  Ref<TPixmap> file = PixmapLoad("pixmaptest_saved.png"_s);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetPixel(3, 3), p->GetPixel(3, 3));
  std::remove("pixmaptest_saved.png");
}

}  // namespace
}  // namespace cvx
