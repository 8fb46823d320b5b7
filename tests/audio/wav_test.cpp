// The WAVE decoder on files built here byte by byte, and the loading of
// samples through the decoder list.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/wavdecoder.h"
#include "corvex/runtime/memory.h"
#include "corvex/stream/memorystream.h"
#include "tests/audio/wav_builder.h"

namespace cvx {
namespace {

using test::WavBuilder;

Ref<TPcmSample> Decode(const std::vector<std::uint8_t>& bytes) {
  Ref<TMemoryStream> stream = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
  return PcmSampleLoadWav(stream.Get());
}

TEST(WavDecoder, EverySupportedFormat) {
  struct Case {
    int channels, bits, format;
  };
  for (Case c : {Case{1, 8, PCM_MONO8}, {2, 8, PCM_STEREO8}, {1, 16, PCM_MONO16LE}, {2, 16, PCM_STEREO16LE}}) {
    WavBuilder wav(c.channels, c.bits, 44100);
    const std::vector<std::uint8_t> data = WavBuilder::Pattern(10 * c.channels * c.bits / 8);
    Ref<TPcmSample> sample = Decode(wav.Data(data).Bytes());
    ASSERT_TRUE(sample) << c.channels << "x" << c.bits;
    EXPECT_EQ(sample->format, c.format);
    EXPECT_EQ(sample->length, 10);
    EXPECT_EQ(sample->hertz, 44100);
    EXPECT_EQ(std::memcmp(sample->samples, data.data(), data.size()), 0);
  }
}

TEST(WavDecoder, ChunkLayouts) {
  const std::vector<std::uint8_t> data = WavBuilder::Pattern(8);
  {
    // An 18-byte format chunk: its 2 extra bytes are skipped.
    Ref<TPcmSample> sample = Decode(WavBuilder(2, 16, 8000).FmtExtra({0, 0}).Data(data).Bytes());
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 2);
    EXPECT_EQ(std::memcmp(sample->samples, data.data(), 8), 0);
  }
  {
    // Other chunks before the data, one of odd size (no pad byte after it).
    Ref<TPcmSample> sample =
        Decode(WavBuilder(1, 8, 8000).Chunk("LIST", {'a', 'b', 'c'}).Chunk("fact", {1, 0, 0, 0}).Data(data).Bytes());
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 8);
    EXPECT_EQ(sample->samples[7], data[7]);
  }
  {
    // A data size that is not a multiple of the frame gives the whole frames.
    Ref<TPcmSample> sample = Decode(WavBuilder(2, 16, 8000).Data(WavBuilder::Pattern(11)).Bytes());
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 2);
  }
  {
    // An empty data chunk is an empty sample; bytes after the chunk are ignored.
    std::vector<std::uint8_t> bytes = WavBuilder(1, 16, 8000).Data({}).Bytes();
    bytes.insert(bytes.end(), {1, 2, 3});
    Ref<TPcmSample> sample = Decode(bytes);
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 0);
  }
  {
    // The block size field is ignored, even an odd one.
    Ref<TPcmSample> sample = Decode(WavBuilder(2, 16, 8000).BlockAlign(3).Data(data).Bytes());
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->length, 2);
  }
}

TEST(WavDecoder, UnsupportedFilesGiveNull) {
  const std::vector<std::uint8_t> data = WavBuilder::Pattern(12);
  EXPECT_FALSE(Decode(WavBuilder(1, 24, 8000).Data(data).Bytes()));
  EXPECT_FALSE(Decode(WavBuilder(0, 16, 8000).Data(data).Bytes()));
  EXPECT_FALSE(Decode(WavBuilder(3, 16, 8000).Data(data).Bytes()));
  EXPECT_FALSE(Decode(WavBuilder(2, 16, 8000).FormatTag(3).Data(data).Bytes()));  // IEEE float
  std::vector<std::uint8_t> bytes = WavBuilder(1, 8, 8000).Data(data).Bytes();
  for (int at : {0, 8, 12}) {  // "RIFF", "WAVE", "fmt "
    std::vector<std::uint8_t> wrong = bytes;
    wrong[at + 1] ^= 0x20;
    EXPECT_FALSE(Decode(wrong)) << at;
  }
  EXPECT_FALSE(Decode({}));
  EXPECT_FALSE(Decode(WavBuilder(1, 8, 8000).Chunk("LIST", {1, 2}).Bytes()));  // no data chunk
}

TEST(WavDecoder, TruncatedFilesGiveNull) {
  // Every cut of a valid file short of its last byte: null, and no read of
  // bytes that are not there (ASan would see it).
  const std::vector<std::uint8_t> bytes =
      WavBuilder(2, 16, 8000).FmtExtra({0, 0}).Chunk("LIST", {'x'}).Data(WavBuilder::Pattern(16)).Bytes();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(Decode(cut)) << n << " of " << bytes.size();
  }
  EXPECT_TRUE(Decode(bytes));
}

TEST(WavDecoder, HostileSizesMakeNoHugeBlock) {
  const int before = AllocatedBytes();
  // A data chunk that claims 4 GB, or 2 GB, in a file of a few bytes.
  for (std::uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 1000u}) {
    std::vector<std::uint8_t> bytes = WavBuilder(2, 16, 8000).Data(WavBuilder::Pattern(8)).Bytes();
    WavBuilder::PutU32(bytes, bytes.size() - 12, size);
    EXPECT_FALSE(Decode(bytes)) << size;
    // An other chunk that claims more than the file holds.
    std::vector<std::uint8_t> list = WavBuilder(2, 16, 8000).Chunk("LIST", {1, 2, 3, 4}).Data({}).Bytes();
    WavBuilder::PutU32(list, 40, size);
    EXPECT_FALSE(Decode(list)) << size;
    // And a format chunk that does.
    std::vector<std::uint8_t> fmt = WavBuilder(2, 16, 8000).Data({}).Bytes();
    WavBuilder::PutU32(fmt, 16, size);
    EXPECT_FALSE(Decode(fmt)) << size;
  }
  ReclaimMemory();
  EXPECT_LT(AllocatedBytes() - before, 1 << 20);
}

// A readable stream over bytes that cannot tell its position.
class TUnseekableStream final : public TByteStream {
 public:
  explicit TUnseekableStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::int32_t Position() override { return -1; }
  std::int32_t Size() override { return -1; }
  int AtEnd() override { return at_ >= bytes_.size(); }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<std::int32_t>(n);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

TEST(WavDecoder, StreamWithoutSize) {
  // The decoder itself does not need a position: a data chunk is read as it
  // arrives, and one cut short gives null.
  const std::vector<std::uint8_t> data = WavBuilder::Pattern(100000);
  std::vector<std::uint8_t> bytes = WavBuilder(1, 16, 8000).Data(data).Bytes();
  Ref<TUnseekableStream> whole(new TUnseekableStream(bytes));
  Ref<TPcmSample> sample = PcmSampleLoadWav(whole.Get());
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->length, 50000);
  EXPECT_EQ(std::memcmp(sample->samples, data.data(), data.size()), 0);
  bytes.resize(bytes.size() - 1);
  Ref<TUnseekableStream> cut(new TUnseekableStream(bytes));
  EXPECT_FALSE(PcmSampleLoadWav(cut.Get()));
}

class SampleLoad : public testing::Test {
 protected:
  void SetUp() override {
    InitOggDecoder();
    InitWavDecoder();
  }
};

TEST_F(SampleLoad, DecoderListAsksWaveFirst) {
  ASSERT_NE(FirstPcmDecoder(), nullptr);
  EXPECT_NE(dynamic_cast<TWavDecoder*>(FirstPcmDecoder()), nullptr);
  ASSERT_NE(FirstPcmDecoder()->Next(), nullptr);
  EXPECT_NE(dynamic_cast<TOggDecoder*>(FirstPcmDecoder()->Next()), nullptr);
}

TEST_F(SampleLoad, FromAStreamAtAnOffset) {
  // The decoders start where the stream was, not at 0.
  std::vector<std::uint8_t> bytes{9, 9, 9};
  const std::vector<std::uint8_t> wav = WavBuilder(2, 8, 22050).Data(WavBuilder::Pattern(6)).Bytes();
  bytes.insert(bytes.end(), wav.begin(), wav.end());
  Ref<TMemoryStream> stream = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
  stream->Seek(3);
  Ref<TPcmSample> sample = PcmSampleLoad(Ref<TObject>(stream));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->format, PCM_STEREO8);
  EXPECT_EQ(sample->length, 3);
  EXPECT_EQ(sample->hertz, 22050);
}

TEST_F(SampleLoad, NullAndErrors) {
  EXPECT_FALSE(PcmSampleLoad(String("/nonexistent/dir/sound.wav")));
  EXPECT_FALSE(PcmSampleLoad(String("noprotocol::sound.wav")));
  const std::vector<std::uint8_t> junk = WavBuilder::Pattern(300);
  Ref<TMemoryStream> stream = CreateMemoryStream(junk.data(), static_cast<std::int32_t>(junk.size()), 1, 0);
  EXPECT_FALSE(PcmSampleLoad(Ref<TObject>(stream)));

  Ref<TUnseekableStream> unseekable(new TUnseekableStream(WavBuilder(1, 8, 8000).Data({1}).Bytes()));
  try {
    PcmSampleLoad(Ref<TObject>(unseekable));
    ADD_FAILURE() << "no error";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Stream is not seekable");
  }
}

}  // namespace
}  // namespace cvx
