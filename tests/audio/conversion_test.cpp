// Sample formats: the conversion through the 16-bit big-endian stereo hub and
// the sample objects that own or borrow their frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "corvex/audio/pcmsample.h"

namespace cvx {
namespace {

std::vector<std::uint8_t> Convert(const std::vector<std::uint8_t>& in, int from, int to) {
  const auto count = static_cast<std::int32_t>(in.size() / PcmBytesPerFrame[from]);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * PcmBytesPerFrame[to], 0xEE);
  ConvertPcmFrames(in.data(), from, out.data(), to, count);
  return out;
}

using Bytes = std::vector<std::uint8_t>;

TEST(PcmConversion, IntoTheHub) {
  // 8-bit values are re-signed into the high byte and repeated in the low one.
  EXPECT_EQ(Convert({128}, PCM_MONO8, PCM_STEREO16BE), (Bytes{0, 128, 0, 128}));
  EXPECT_EQ(Convert({0, 255}, PCM_MONO8, PCM_STEREO16BE), (Bytes{128, 0, 128, 0, 127, 255, 127, 255}));
  EXPECT_EQ(Convert({0x34, 0x12}, PCM_MONO16LE, PCM_STEREO16BE), (Bytes{0x12, 0x34, 0x12, 0x34}));
  EXPECT_EQ(Convert({0x12, 0x34}, PCM_MONO16BE, PCM_STEREO16BE), (Bytes{0x12, 0x34, 0x12, 0x34}));
  EXPECT_EQ(Convert({10, 200}, PCM_STEREO8, PCM_STEREO16BE), (Bytes{138, 10, 72, 200}));
  EXPECT_EQ(Convert({1, 2, 3, 4}, PCM_STEREO16LE, PCM_STEREO16BE), (Bytes{2, 1, 4, 3}));
}

TEST(PcmConversion, OutOfTheHub) {
  // left 1000 (0x03E8), right -1000 (0xFC18): the mid value is 0.
  const Bytes hub{0x03, 0xE8, 0xFC, 0x18};
  EXPECT_EQ(Convert(hub, PCM_STEREO16BE, PCM_MONO16BE), (Bytes{0, 0}));
  EXPECT_EQ(Convert({0x03, 0xE8, 0xFC, 0x18}, PCM_STEREO16BE, PCM_STEREO16LE), (Bytes{0xE8, 0x03, 0x18, 0xFC}));
  // Mid of -3 and 0 truncates toward zero: -1, not -2.
  EXPECT_EQ(Convert({0xFF, 0xFD, 0x00, 0x00}, PCM_STEREO16BE, PCM_MONO16LE), (Bytes{0xFF, 0xFF}));
  // Extremes of the 16-bit range reach the ends of the 8-bit one.
  EXPECT_EQ(Convert({0x80, 0x00, 0x7F, 0xFF}, PCM_STEREO16BE, PCM_STEREO8), (Bytes{0, 255}));
}

TEST(PcmConversion, SpecialValues) {
  // 128 to the hub and back lands on 128: (128 + 32768) / 257.
  EXPECT_EQ(Convert(Convert({128}, PCM_MONO8, PCM_STEREO16BE), PCM_STEREO16BE, PCM_MONO8), (Bytes{128}));
  // A stereo little-endian frame of 1000 / -1000 becomes a silent mono frame
  // without the caller going through the hub.
  EXPECT_EQ(Convert({0xE8, 0x03, 0x18, 0xFC}, PCM_STEREO16LE, PCM_MONO16BE), (Bytes{0, 0}));
}

TEST(PcmConversion, EveryPairKeepsTheSignal) {
  // A ramp over the 8-bit range survives every conversion and its way back to
  // 8-bit mono (all formats hold at least 8 bits per channel).
  Bytes mono8(256);
  for (int i = 0; i < 256; ++i) mono8[i] = static_cast<std::uint8_t>(i);
  for (int to = PCM_MONO8; to <= PCM_STEREO16BE; ++to) {
    for (int via = PCM_MONO8; via <= PCM_STEREO16BE; ++via) {
      const Bytes back = Convert(Convert(Convert(mono8, PCM_MONO8, to), to, via), via, PCM_MONO8);
      EXPECT_EQ(back, mono8) << "through " << to << " and " << via;
    }
  }
  // 16-bit stereo values survive exactly among the 16-bit stereo formats.
  const Bytes le{0x01, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0xCD, 0xAB};
  EXPECT_EQ(Convert(Convert(le, PCM_STEREO16LE, PCM_STEREO16BE), PCM_STEREO16BE, PCM_STEREO16LE), le);
  const Bytes mono16{0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12};
  EXPECT_EQ(Convert(Convert(mono16, PCM_MONO16LE, PCM_STEREO8), PCM_STEREO8, PCM_MONO8),
            Convert(mono16, PCM_MONO16LE, PCM_MONO8));
  EXPECT_EQ(Convert(Convert(mono16, PCM_MONO16LE, PCM_STEREO16LE), PCM_STEREO16LE, PCM_MONO16LE), mono16);
}

TEST(PcmConversion, EqualFormatsCopyAndLongRunsAreWhole) {
  EXPECT_EQ(Convert({1, 2, 3, 4, 5, 6, 7, 8}, PCM_STEREO16LE, PCM_STEREO16LE), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  // More frames than one block of the temporary hub buffer.
  Bytes in(10000 * 2);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes out = Convert(in, PCM_STEREO8, PCM_MONO16BE);
  ASSERT_EQ(out.size(), 20000u);
  for (int frame : {0, 4095, 4096, 9999}) {
    const int l = in[2 * frame] - 128, r = in[2 * frame + 1] - 128;
    const int left = static_cast<std::int16_t>(l * 256 + in[2 * frame]);
    const int right = static_cast<std::int16_t>(r * 256 + in[2 * frame + 1]);
    const int mid = (left + right) / 2;
    EXPECT_EQ(static_cast<std::int16_t>(out[2 * frame] << 8 | out[2 * frame + 1]), mid) << frame;
  }
}

TEST(PcmConversion, UnknownFormatsRaise) {
  std::uint8_t in[8] = {}, out[8] = {};
  for (auto [from, to] : {std::pair{0, 1}, {1, 7}, {7, 6}, {-1, 2}}) {
    try {
      ConvertPcmFrames(in, from, out, to, 1);
      ADD_FAILURE() << from << " -> " << to;
    } catch (const TRuntimeError& e) {
      EXPECT_STREQ(e.what(), "Unimplemented sample format conversion");
    }
  }
}

TEST(PcmSample, NewOwnsAlignedBytes) {
  Ref<TPcmSample> sample = PcmSampleNew(33, 22050, PCM_STEREO16LE);
  EXPECT_EQ(sample->length, 33);
  EXPECT_EQ(sample->hertz, 22050);
  EXPECT_EQ(sample->format, PCM_STEREO16LE);
  EXPECT_EQ(sample->capacity, 132);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(sample->samples) % 16, 0u);
  std::memset(sample->samples, 0x5A, 132);  // every owned byte is writable (ASan checks)
  EXPECT_THROW(PcmSampleNew(4, 8000, 7), TRuntimeError);
  EXPECT_THROW(PcmSampleNew(-1, 8000, PCM_MONO8), TRuntimeError);
  EXPECT_EQ(PcmSampleNew(0, 8000, PCM_MONO8)->length, 0);
}

TEST(PcmSample, CopyAndConvertAreIndependent) {
  std::uint8_t frames[4] = {0, 64, 128, 255};
  Ref<TPcmSample> wrapped = PcmSampleWrap(frames, 4, 11025, PCM_MONO8);
  EXPECT_EQ(wrapped->capacity, -1);
  EXPECT_EQ(wrapped->samples, frames);

  Ref<TPcmSample> copy = wrapped->Copy();
  EXPECT_NE(copy->samples, frames);
  EXPECT_EQ(copy->capacity, 4);
  EXPECT_EQ(std::memcmp(copy->samples, frames, 4), 0);
  frames[0] = 9;
  EXPECT_EQ(copy->samples[0], 0);

  Ref<TPcmSample> stereo = wrapped->ConvertTo(PCM_STEREO16BE);
  EXPECT_EQ(stereo->length, 4);
  EXPECT_EQ(stereo->hertz, 11025);
  EXPECT_EQ(stereo->format, PCM_STEREO16BE);
  EXPECT_EQ(stereo->samples[4], 64 - 128 + 256);  // frame 1, left high byte
  EXPECT_EQ(stereo->samples[5], 64);
  EXPECT_THROW(wrapped->ConvertTo(0), TRuntimeError);
  // A wrapped sample's memory is left alone when the sample goes.
  wrapped = nullptr;
  ReclaimMemory();
  EXPECT_EQ(frames[1], 64);
}

}  // namespace
}  // namespace cvx
