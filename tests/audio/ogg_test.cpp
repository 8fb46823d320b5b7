// The Ogg Vorbis decoder on files encoded here with libvorbisenc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/wavdecoder.h"
#include "corvex/stream/memorystream.h"
#include "ogg_builder.h"
#include "tests/support/log_capture.h"

namespace cvx {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The left channel is a 440 Hz sine at half scale; the right one, when
// there is one, is the same sine inverted.
float Signal(long frame, int channel, long rate) {
  const float s = 0.5f * static_cast<float>(std::sin(2 * kPi * 440.0 * static_cast<double>(frame) / rate));
  return channel == 0 ? s : -s;
}

std::vector<std::uint8_t> EncodeOgg(int channels, long rate, long frames) {
  return test::EncodeOggOf(
      channels, rate, frames, [rate](long frame, int channel) { return Signal(frame, channel, rate); }, 0.4f);
}

Ref<TPcmSample> Decode(const std::vector<std::uint8_t>& bytes) {
  Ref<TMemoryStream> stream = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
  return PcmSampleLoadOgg(stream.Get());
}

int Channel(const TPcmSample* sample, long frame, int channel) {
  const int channels = sample->format == PCM_STEREO16LE ? 2 : 1;
  const std::uint8_t* at = sample->samples + 2 * (frame * channels + channel);
  return static_cast<std::int16_t>(at[0] | at[1] << 8);
}

// Correlation of a decoded channel with the signal that was encoded.
double Correlation(const TPcmSample* sample, int channel) {
  double sxy = 0, sxx = 0, syy = 0;
  for (long f = 0; f < sample->length; ++f) {
    const double x = Signal(f, channel, sample->hertz) * 32767.0, y = Channel(sample, f, channel);
    sxy += x * y;
    sxx += x * x;
    syy += y * y;
  }
  return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
}

TEST(OggDecoder, StereoRoundTrip) {
  const std::vector<std::uint8_t> ogg = EncodeOgg(2, 44100, 22050);
  Ref<TPcmSample> sample = Decode(ogg);
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->format, PCM_STEREO16LE);
  EXPECT_EQ(sample->hertz, 44100);
  EXPECT_EQ(sample->length, 22050);
  EXPECT_GT(Correlation(sample.Get(), 0), 0.95);
  EXPECT_GT(Correlation(sample.Get(), 1), 0.95);
  // Amplitude about half scale in the middle of the sample.
  int peak = 0;
  for (long f = 5000; f < 15000; ++f) peak = std::max(peak, std::abs(Channel(sample.Get(), f, 0)));
  EXPECT_GT(peak, 14000);
  EXPECT_LT(peak, 20000);
}

TEST(OggDecoder, MonoRoundTripThroughTheDecoderList) {
  InitOggDecoder();
  InitWavDecoder();
  const std::vector<std::uint8_t> ogg = EncodeOgg(1, 22050, 5000);
  Ref<TMemoryStream> stream = CreateMemoryStream(ogg.data(), static_cast<std::int32_t>(ogg.size()), 1, 0);
  Ref<TPcmSample> sample = PcmSampleLoad(Ref<TObject>(stream));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->format, PCM_MONO16LE);
  EXPECT_EQ(sample->hertz, 22050);
  EXPECT_EQ(sample->length, 5000);
  EXPECT_GT(Correlation(sample.Get(), 0), 0.95);
}

TEST(OggDecoder, DamagedDataGivesNull) {
  const std::vector<std::uint8_t> ogg = EncodeOgg(2, 8000, 8000);
  EXPECT_FALSE(Decode({}));
  EXPECT_FALSE(Decode({'O', 'g', 'g', 'S', 0, 2, 0, 0}));
  std::vector<std::uint8_t> noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
  EXPECT_FALSE(Decode(noise));
  // Headers only: cut after the first page.
  EXPECT_FALSE(Decode(std::vector<std::uint8_t>(ogg.begin(), ogg.begin() + 200)));
  // The header pages corrupted.
  std::vector<std::uint8_t> badHeader = ogg;
  for (std::size_t i = 40; i < 120; ++i) badHeader[i] ^= 0x5A;
  EXPECT_FALSE(Decode(badHeader));
  // Audio pages corrupted in the middle: the decoder reports a hole, which
  // cannot fill the announced length.
  std::vector<std::uint8_t> badMiddle = ogg;
  for (std::size_t i = ogg.size() / 2; i < ogg.size() / 2 + 64; ++i) badMiddle[i] ^= 0xFF;
  EXPECT_FALSE(Decode(badMiddle));
  // A WAVE file is not Ogg Vorbis.
  EXPECT_FALSE(Decode({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}));
}

TEST(OggDecoder, MoreThanTwoChannelsGiveNull) {
  // A stereo frame could not hold them.
  EXPECT_FALSE(Decode(EncodeOgg(3, 8000, 2000)));
}

TEST(OggDecoder, EveryDamagedByteGivesASampleOrNull) {
  // Each byte of a short file flipped in turn (the sanitizer build checks
  // the library's reads through the callbacks); whatever decodes has the
  // announced layout.
  const std::vector<std::uint8_t> ogg = EncodeOgg(2, 8000, 1200);
  const std::size_t step = ogg.size() / 300 + 1;
  for (std::size_t at = 0; at < ogg.size(); at += step) {
    std::vector<std::uint8_t> damaged = ogg;
    damaged[at] ^= 0xA5;
    Ref<TPcmSample> sample = Decode(damaged);
    if (sample) {
      EXPECT_TRUE(sample->format == PCM_STEREO16LE || sample->format == PCM_MONO16LE) << at;
      EXPECT_GE(sample->length, 0) << at;
    }
  }
}

// A memory stream whose reads raise once a number of bytes has been read.
class TBreakingStream final : public TByteStream {
 public:
  TBreakingStream(std::vector<std::uint8_t> bytes, std::int32_t breakAt, bool streamError)
      : bytes_(std::move(bytes)), breakAt_(breakAt), streamError_(streamError) {}
  std::int32_t Position() override { return at_; }
  std::int32_t Size() override { return static_cast<std::int32_t>(bytes_.size()); }
  std::int32_t Seek(std::int32_t position) override {
    at_ = std::clamp<std::int32_t>(position, 0, Size());
    return at_;
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    const std::int32_t n = std::min(count, Size() - at_);
    if (at_ + n > breakAt_) {
      if (streamError_) throw TStreamReadError();
      throw TRuntimeError("device gone");
    }
    std::memcpy(buffer, bytes_.data() + at_, static_cast<std::size_t>(n));
    at_ += n;
    return n;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int32_t at_ = 0;
  std::int32_t breakAt_;
  bool streamError_;
};

TEST(OggDecoder, StreamErrorsReachTheCallerAfterCleanUp) {
  InitOggDecoder();
  InitWavDecoder();
  const std::vector<std::uint8_t> ogg = EncodeOgg(1, 8000, 4000);
  const auto size = static_cast<std::int32_t>(ogg.size());
  // Inside PcmSampleLoad a stream error means "not this format": null.
  Ref<TBreakingStream> broken(new TBreakingStream(ogg, size / 2, true));
  {
    test::LogCapture log(LogLevel::Warning);
    EXPECT_FALSE(PcmSampleLoad(Ref<TObject>(broken)));
    ASSERT_EQ(log.Warnings().size(), 1u);
    EXPECT_NE(log.Warnings()[0].find("PcmSampleLoad a stream: no decoder"), std::string::npos) << log.Warnings()[0];
  }
  // Called directly, the decoder lets the error through, after releasing the
  // library's state (LeakSanitizer checks).
  Ref<TBreakingStream> direct(new TBreakingStream(ogg, size / 2, true));
  EXPECT_THROW(PcmSampleLoadOgg(direct.Get()), TStreamReadError);
  // Any other error passes through PcmSampleLoad.
  Ref<TBreakingStream> other(new TBreakingStream(ogg, size / 2, false));
  EXPECT_THROW(PcmSampleLoad(Ref<TObject>(other)), TRuntimeError);
  // Unbroken, the same stream class decodes.
  Ref<TBreakingStream> whole(new TBreakingStream(ogg, size, true));
  Ref<TPcmSample> sample = PcmSampleLoad(Ref<TObject>(whole));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->length, 4000);
}

}  // namespace
}  // namespace cvx
