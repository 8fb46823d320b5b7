// The mixer driven block by block on this thread, where every frame is known:
// interpolation, balance, clipping, ends, loops, stops and cued starts.
#include "corvex/audio/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace cvx::audio {
namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;

VoiceSource MemorySource(const std::vector<float>& frames, int channels, int rate, bool loop = false) {
  VoiceSource source;
  source.frames = frames.data();
  source.length = static_cast<std::int64_t>(frames.size()) / channels;
  source.channels = channels;
  source.rate = rate;
  source.loop = loop;
  return source;
}

std::vector<float> RenderBlocks(Mixer& mixer, int blocks) {
  std::vector<float> out(static_cast<std::size_t>(2 * kBlock * blocks));
  for (int b = 0; b < blocks; ++b) mixer.Render(out.data() + 2 * kBlock * b, kBlock);
  return out;
}

int FirstNonZero(const std::vector<float>& out, int side) {
  for (std::size_t i = 0; i < out.size() / 2; ++i)
    if (out[2 * i + side] != 0.0f) return static_cast<int>(i);
  return -1;
}

TEST(Mixer, InterpolatesLinearlyBetweenSourceFramesAtHalfTheOutputRate) {
  std::vector<float> ramp(64);
  for (int i = 0; i < 64; ++i) ramp[i] = i / 64.0f;
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(ramp, 1, kRate / 2), 1, 0, 1, false);
  const std::vector<float> out = RenderBlocks(mixer, 1);
  // Output frame k sits at source position k / 2.
  for (int k = 0; k < 126; ++k) {
    ASSERT_NEAR(out[2 * k], k / 128.0f, 1e-6f) << k;
    ASSERT_EQ(out[2 * k], out[2 * k + 1]) << k;
  }
  // 64 source frames at half speed are 128 output frames; then silence.
  for (int k = 128; k < kBlock; ++k) ASSERT_EQ(out[2 * k], 0.0f) << k;
  EXPECT_EQ(mixer.FinishedSerial(0), 1u);
}

TEST(Mixer, RateAndPitchTogether) {
  // Twice the rate plays every second frame.
  std::vector<float> ramp(600);
  for (int i = 0; i < 600; ++i) ramp[i] = i / 600.0f;
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(ramp, 1, kRate), 1, 0, 2, false);
  const std::vector<float> out = RenderBlocks(mixer, 2);
  for (int k = 0; k < 299; ++k) ASSERT_NEAR(out[2 * k], 2 * k / 600.0f, 1e-6f) << k;
  for (int k = 300; k < 2 * kBlock; ++k) ASSERT_EQ(out[2 * k], 0.0f) << k;
}

TEST(Mixer, BalanceVolumeStereoAndClipping) {
  const std::vector<float> dc(2 * 4096, 0.5f);
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(dc, 2, kRate, true), 0.5f, -1, 1, false);
  std::vector<float> out = RenderBlocks(mixer, 1);
  EXPECT_FLOAT_EQ(out[0], 0.25f);
  EXPECT_FLOAT_EQ(out[1], 0.0f);
  mixer.SetPan(0, 0.5f);
  out = RenderBlocks(mixer, 1);
  EXPECT_FLOAT_EQ(out[0], 0.125f);
  EXPECT_FLOAT_EQ(out[1], 0.25f);
  // Four voices at full volume sum to 2 and are clipped to 1.
  mixer.SetVolume(0, 1);
  mixer.SetPan(0, 0);
  for (int v = 1; v < 4; ++v) mixer.Start(v, 1, MemorySource(dc, 2, kRate, true), 1, 0, 1, false);
  out = RenderBlocks(mixer, 1);
  for (float s : out) ASSERT_EQ(s, 1.0f);
  // Settings out of range are clamped, not passed through.
  mixer.SetVolume(0, std::nanf(""));
  mixer.SetPan(0, 7);
  for (int v = 1; v < 4; ++v) mixer.Stop(v);
  out = RenderBlocks(mixer, 1);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 0.0f);
}

TEST(Mixer, StopSilencesTheNextBlockAndReportsTheSerial) {
  const std::vector<float> dc(100000, 0.5f);
  Mixer mixer(kRate, kBlock);
  mixer.Start(3, 7, MemorySource(dc, 1, kRate), 1, 0, 1, false);
  std::vector<float> out = RenderBlocks(mixer, 1);
  EXPECT_EQ(out.back(), 0.5f);
  EXPECT_NE(mixer.FinishedSerial(3), 7u);
  mixer.Stop(3);
  out = RenderBlocks(mixer, 1);
  for (float s : out) ASSERT_EQ(s, 0.0f);
  EXPECT_EQ(mixer.FinishedSerial(3), 7u);
  EXPECT_EQ(mixer.AppliedCommands(), mixer.PostedCommands());
}

TEST(Mixer, LoopWrapsAcrossTheEndWithoutAGap) {
  // A looping ramp 0..7 at a third of the output rate: every output frame is
  // a third of a source frame further, and at the end the interpolation runs
  // towards frame 0.
  std::vector<float> ramp(8);
  for (int i = 0; i < 8; ++i) ramp[i] = i / 8.0f;
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(ramp, 1, kRate / 3, true), 1, 0, 1, false);
  const std::vector<float> out = RenderBlocks(mixer, 3);
  for (int k = 0; k < 3 * kBlock; ++k) {
    const double position = std::fmod(k / 3.0, 8.0);
    const int at = static_cast<int>(position);
    const double t = position - at;
    const double expected = ramp[at] + (ramp[(at + 1) % 8] - ramp[at]) * t;
    ASSERT_NEAR(out[2 * k], expected, 1e-5) << k;
  }
  EXPECT_EQ(mixer.FinishedSerial(0), 0u);
}

TEST(Mixer, PauseHoldsThePlaceAndResumeGoesOn) {
  std::vector<float> ramp(4096);
  for (int i = 0; i < 4096; ++i) ramp[i] = i / 4096.0f;
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(ramp, 1, kRate), 1, 0, 1, false);
  RenderBlocks(mixer, 1);
  mixer.Pause(0);
  std::vector<float> out = RenderBlocks(mixer, 2);
  for (float s : out) ASSERT_EQ(s, 0.0f);
  mixer.Resume(0);
  out = RenderBlocks(mixer, 1);
  EXPECT_FLOAT_EQ(out[0], kBlock / 4096.0f);
}

TEST(Mixer, VoicesResumedTogetherStartOnTheSameFrameAcrossABlock) {
  const std::vector<float> dc(100000, 0.5f);
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 1, MemorySource(dc, 1, kRate), 1, -1, 1, true);  // left only
  mixer.Start(1, 1, MemorySource(dc, 1, kRate), 1, 1, 1, true);   // right only
  RenderBlocks(mixer, 1);
  std::vector<float> out(2 * kBlock * 6);
  const std::int64_t first = mixer.ResumeTogether(0);
  mixer.Render(out.data(), kBlock);  // a block passes between the two resumes
  const std::int64_t second = mixer.ResumeTogether(1);
  EXPECT_EQ(first, second);
  for (int b = 1; b < 6; ++b) mixer.Render(out.data() + 2 * kBlock * b, kBlock);
  const int left = FirstNonZero(out, 0), right = FirstNonZero(out, 1);
  ASSERT_GE(left, 0);
  EXPECT_EQ(left, right);
  EXPECT_EQ(left, 2 * kBlock);  // out begins at mixed frame kBlock
  EXPECT_EQ(first, left + kBlock);
}

TEST(Mixer, StreamedVoiceReadsItsRingAndEndsWithIt) {
  FrameRing ring(1, 1024);
  std::vector<float> ramp(300);
  for (int i = 0; i < 300; ++i) ramp[i] = i / 300.0f;
  ring.Write(ramp.data(), 200);
  VoiceSource source;
  source.ring = &ring;
  source.channels = 1;
  source.rate = kRate;
  Mixer mixer(kRate, kBlock);
  mixer.Start(0, 5, source, 1, 0, 1, false);
  std::vector<float> out = RenderBlocks(mixer, 1);
  for (int k = 0; k < 200; ++k) ASSERT_FLOAT_EQ(out[2 * k], ramp[k]);
  EXPECT_GT(mixer.StreamUnderruns(), 0);  // wanted 256, had 200
  EXPECT_NE(mixer.FinishedSerial(0), 5u);
  ring.Write(ramp.data() + 200, 100);
  ring.MarkEnded();
  out = RenderBlocks(mixer, 1);
  for (int k = 0; k < 99; ++k) ASSERT_FLOAT_EQ(out[2 * k], ramp[200 + k]) << k;
  EXPECT_EQ(out[2 * 150], 0.0f);
  EXPECT_EQ(mixer.FinishedSerial(0), 5u);
}

}  // namespace
}  // namespace cvx::audio
