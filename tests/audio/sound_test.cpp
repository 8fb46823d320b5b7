// Sounds played for real through SDL's disk audio driver, which writes what
// it would play to a file in (roughly) real time; the tests read the file
// back and measure it. Sounds are short, and the tests wait on ChannelPlaying.
#include "corvex/audio/sound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "corvex/platform/audiodevice.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/memorystream.h"
#include "tests/audio/ogg_builder.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

constexpr double kPi = 3.14159265358979323846;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Stereo output frames read back from the disk driver's file.
struct Output {
  int rate = 0;
  std::vector<float> left, right;

  // The first and one past the last frame where either side is not silent.
  std::pair<std::size_t, std::size_t> Sounding() const {
    std::size_t first = left.size(), last = 0;
    for (std::size_t i = 0; i < left.size(); ++i)
      if (std::fabs(left[i]) > 1e-4f || std::fabs(right[i]) > 1e-4f) {
        if (first == left.size()) first = i;
        last = i + 1;
      }
    return {first, first == left.size() ? first : last};
  }
};

// Runs the mixer over the disk driver from construction to Finish.
class DiskCapture {
 public:
  DiskCapture() {
    char path[] = "/tmp/corvex-sound-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    path_ = path;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    InitSound();
  }
  ~DiskCapture() {
    ShutdownSound();
    std::remove(path_.c_str());
  }

  bool Running() const { return AudioDriverName() == String("SDL"); }

  // Waits (up to 5 s) while the channel plays, then a little longer so the
  // driver writes the blocks mixed meanwhile.
  static void WaitFor(TChannel* channel) {
    for (int waited = 0; ChannelPlaying(channel) && waited < 5000; waited += 5) Sleep(5);
    Sleep(200);
  }

  Output Finish() {
    Output output;
    output.rate = AudioOutputRate();
    const int bits = AudioOutputBits();
    ShutdownSound();
    std::ifstream file(path_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bits == 32) {
      const std::size_t frames = bytes.size() / 8;
      std::vector<float> data(frames * 2);
      std::memcpy(data.data(), bytes.data(), frames * 8);
      for (std::size_t i = 0; i < frames; ++i) {
        output.left.push_back(data[2 * i]);
        output.right.push_back(data[2 * i + 1]);
      }
    } else if (bits == 16) {
      const std::size_t frames = bytes.size() / 4;
      std::vector<std::int16_t> data(frames * 2);
      std::memcpy(data.data(), bytes.data(), frames * 4);
      for (std::size_t i = 0; i < frames; ++i) {
        output.left.push_back(data[2 * i] / 32767.0f);
        output.right.push_back(data[2 * i + 1] / 32767.0f);
      }
    }
    return output;
  }

 private:
  std::string path_;
};

// A mono 16-bit sample of a cosine (so that its first frame is not silent).
Ref<TPcmSample> Cosine(double hertz, int rate, int frames, double amplitude) {
  Ref<TPcmSample> sample = PcmSampleNew(frames, rate, PCM_MONO16LE);
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<std::int16_t>(std::lround(amplitude * 32767 * std::cos(2 * kPi * hertz * i / rate)));
    sample->samples[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    sample->samples[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
  return sample;
}

double Rms(const std::vector<float>& side, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(side[i]) * side[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

// Upward zero crossings per second.
double Frequency(const std::vector<float>& side, std::size_t from, std::size_t to, int rate) {
  int crossings = 0;
  std::size_t firstCrossing = 0, lastCrossing = 0;
  for (std::size_t i = from + 1; i < to; ++i)
    if (side[i - 1] < 0 && side[i] >= 0) {
      if (crossings == 0) firstCrossing = i;
      lastCrossing = i;
      ++crossings;
    }
  if (crossings < 2) return 0;
  return (crossings - 1) * double(rate) / double(lastCrossing - firstCrossing);
}

// The amplitude of one frequency in a stretch (a single DFT bin).
double Amplitude(const std::vector<float>& side, std::size_t from, std::size_t to, double hertz, int rate) {
  double re = 0, im = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double phase = 2 * kPi * hertz * double(i - from) / rate;
    re += side[i] * std::cos(phase);
    im += side[i] * std::sin(phase);
  }
  return 2 * std::sqrt(re * re + im * im) / double(to - from);
}

TEST(SoundOutput, CosineComesOutAtItsFrequencyLengthAndVolumeAtAnyRate) {
  DiskCapture capture;
  ASSERT_TRUE(capture.Running());
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 22050 / 4, 0.8).Get());
  ASSERT_TRUE(sound);
  Ref<TChannel> channel = AllocChannel();
  SetChannelVolume(channel.Get(), 0.5f);
  PlaySound(sound.Get(), channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 1);
  DiskCapture::WaitFor(channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 0);
  Output out = capture.Finish();
  ASSERT_GT(out.rate, 0);
  auto [first, last] = out.Sounding();
  ASSERT_LT(first, last);
  EXPECT_NEAR(double(last - first), out.rate / 4.0, 3);  // a quarter second, resampled
  EXPECT_NEAR(Frequency(out.left, first, last, out.rate), 441, 2);
  EXPECT_NEAR(Rms(out.left, first, last), 0.4 / std::sqrt(2.0), 0.01);
  EXPECT_NEAR(Rms(out.right, first, last), 0.4 / std::sqrt(2.0), 0.01);
}

TEST(SoundOutput, DoubleRateDoublesThePitchAndHalvesTheLength) {
  DiskCapture capture;
  ASSERT_TRUE(capture.Running());
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 22050 / 4, 0.8).Get());
  Ref<TChannel> channel = AllocChannel();
  SetChannelRate(channel.Get(), 2);
  PlaySound(sound.Get(), channel.Get());
  DiskCapture::WaitFor(channel.Get());
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  EXPECT_NEAR(double(last - first), out.rate / 8.0, 3);
  EXPECT_NEAR(Frequency(out.left, first, last, out.rate), 882, 4);
}

TEST(SoundOutput, TwoSoundsMixAndPanMovesTheirEnergy) {
  DiskCapture capture;
  ASSERT_TRUE(capture.Running());
  Ref<TSound> low = LoadSound(Cosine(300, 24000, 24000 / 4, 0.4).Get());
  Ref<TSound> high = LoadSound(Cosine(1200, 24000, 24000 / 4, 0.4).Get());
  Ref<TChannel> a = CueSound(low.Get());
  Ref<TChannel> b = CueSound(high.Get());
  SetChannelPan(a.Get(), -1);             // left only
  SetChannelPan(b.Get(), 0.5f);           // right, and half on the left
  EXPECT_EQ(ChannelPlaying(a.Get()), 0);  // cued
  ResumeChannel(a.Get());
  ResumeChannel(b.Get());
  DiskCapture::WaitFor(a.Get());
  DiskCapture::WaitFor(b.Get());
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  ASSERT_NEAR(double(last - first), out.rate / 4.0, 3);  // both began on the same frame
  EXPECT_NEAR(Amplitude(out.left, first, last, 300, out.rate), 0.4, 0.01);
  EXPECT_NEAR(Amplitude(out.left, first, last, 1200, out.rate), 0.2, 0.01);
  EXPECT_NEAR(Amplitude(out.right, first, last, 300, out.rate), 0.0, 0.01);
  EXPECT_NEAR(Amplitude(out.right, first, last, 1200, out.rate), 0.4, 0.01);
}

TEST(SoundOutput, StopIsImmediateAndPauseHolds) {
  DiskCapture capture;
  ASSERT_TRUE(capture.Running());
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 22050 * 3, 0.5).Get(), SOUND_LOOP);
  Ref<TChannel> channel = PlaySound(sound.Get());
  Sleep(100);
  PauseChannel(channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 0);
  Sleep(200);
  ResumeChannel(channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 1);
  Sleep(100);
  StopChannel(channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 0);
  Sleep(300);
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  ASSERT_LT(first, last);
  // About 0.4 s from start to stop, with a pause of about 0.2 s inside; a
  // stop that let the 3-second sound run on would last far longer.
  EXPECT_LT(double(last - first), 1.5 * out.rate);
  std::size_t silentRun = 0, longest = 0;
  for (std::size_t i = first; i < last; ++i) {
    silentRun = std::fabs(out.left[i]) < 1e-4f ? silentRun + 1 : 0;
    longest = std::max(longest, silentRun);
  }
  EXPECT_GT(double(longest), 0.1 * out.rate);  // the pause
}

TEST(SoundOutput, ALoopingSoundLoopsWithoutASeam) {
  DiskCapture capture;
  ASSERT_TRUE(capture.Running());
  // Exactly one period per loop: the output must stay one unbroken cosine.
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 50, 0.5).Get(), SOUND_LOOP);
  Ref<TChannel> channel = PlaySound(sound.Get());
  Sleep(250);
  EXPECT_EQ(ChannelPlaying(channel.Get()), 1);
  StopChannel(channel.Get());
  Sleep(80);
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  ASSERT_GT(double(last - first), 0.1 * out.rate);  // many loops
  double worst = 0;
  for (std::size_t i = first; i < last; ++i) {
    const double expected = 0.5 * std::cos(2 * kPi * 441 * double(i - first) / out.rate);
    worst = std::max(worst, std::fabs(out.left[i] - expected));
  }
  EXPECT_LT(worst, 0.01);
}

std::string WriteTemp(const std::vector<std::uint8_t>& bytes) {
  char path[] = "/tmp/corvex-ogg-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
  return path;
}

std::vector<std::uint8_t> TwoToneOgg(long frames) {
  return test::EncodeOggOf(2, 44100, frames, [](long f, int c) {
    return static_cast<float>(0.3 * std::sin(2 * kPi * (c ? 660.0 : 440.0) * f / 44100.0));
  });
}

std::vector<float> PlayedLeft(TSound* sound) {
  DiskCapture capture;
  EXPECT_TRUE(capture.Running());
  Ref<TChannel> channel = PlaySound(sound);
  DiskCapture::WaitFor(channel.Get());
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  return std::vector<float>(out.left.begin() + first, out.left.begin() + last);
}

TEST(SoundOutput, AStreamedOggPlaysAsItsFullyDecodedForm) {
  const std::string path = WriteTemp(TwoToneOgg(44100 / 2 + 123));
  Ref<TSound> whole = LoadSound(String(path.c_str()));
  Ref<TSound> streamed = LoadSound(String(path.c_str()), SOUND_STREAM);
  ASSERT_TRUE(whole);
  ASSERT_TRUE(streamed);
  EXPECT_FALSE(whole->Streamed());
  EXPECT_TRUE(streamed->Streamed());
  EXPECT_TRUE(streamed->Frames().empty());
  EXPECT_EQ(streamed->Length(), whole->Length());
  const std::vector<float> a = PlayedLeft(whole.Get());
  const std::vector<float> b = PlayedLeft(streamed.Get());
  ASSERT_GT(a.size(), 1000u);
  ASSERT_NEAR(double(a.size()), double(b.size()), 2);
  double worst = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, double(std::fabs(a[i] - b[i])));
  EXPECT_LT(worst, 1e-3);  // the whole decode is 16-bit, the streamed one float
  std::remove(path.c_str());
}

TEST(SoundOutput, AStreamedLoopGoesOnPastItsLength) {
  const std::string path = WriteTemp(TwoToneOgg(44100 / 10));
  Ref<TSound> sound = LoadSound(String(path.c_str()), SOUND_STREAM | SOUND_LOOP);
  ASSERT_TRUE(sound);
  DiskCapture capture;
  Ref<TChannel> channel = PlaySound(sound.Get());
  Sleep(400);
  EXPECT_EQ(ChannelPlaying(channel.Get()), 1);
  StopChannel(channel.Get());
  Sleep(80);
  Output out = capture.Finish();
  auto [first, last] = out.Sounding();
  EXPECT_GT(double(last - first), 0.25 * out.rate);  // more than two loops of 0.1 s
  EXPECT_NEAR(Frequency(out.left, first, last, out.rate), 440, 3);
  std::remove(path.c_str());
}

// Collects warnings while alive.
struct Warnings {
  std::vector<std::string> lines;
  Warnings() {
    SetLogSink([this](LogLevel level, std::string_view text) {
      if (level == LogLevel::Warning) lines.emplace_back(text);
    });
  }
  ~Warnings() { SetLogSink(nullptr); }
};

Ref<TSound> FromBytes(const std::vector<std::uint8_t>& bytes, int flags) {
  Ref<TMemoryStream> stream = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
  return LoadSound(Ref<TObject>(stream), flags);
}

TEST(SoundInput, DamagedOrCutDataGivesNoSoundAndAWarning) {
  const std::vector<std::uint8_t> ogg = TwoToneOgg(44100 / 4);
  const std::vector<std::uint8_t> cut(ogg.begin(), ogg.begin() + static_cast<std::ptrdiff_t>(ogg.size() * 2 / 3));
  std::vector<std::uint8_t> noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  std::vector<std::uint8_t> fakeOgg(noise);
  std::memcpy(fakeOgg.data(), "OggS", 4);
  const std::vector<const std::vector<std::uint8_t>*> cases = {&cut, &noise, &fakeOgg};
  for (int flags : {0, SOUND_STREAM}) {
    for (const auto* bytes : cases) {
      Warnings warnings;
      EXPECT_FALSE(FromBytes(*bytes, flags)) << flags;
      ASSERT_EQ(warnings.lines.size(), 1u) << flags;
      EXPECT_NE(warnings.lines[0].find("LoadSound"), std::string::npos);
    }
  }
  Warnings warnings;
  EXPECT_FALSE(LoadSound(String("/nonexistent/corvex.ogg")));
  EXPECT_FALSE(LoadSound(static_cast<TPcmSample*>(nullptr)));
  Ref<TPcmSample> empty = PcmSampleNew(0, 44100, PCM_MONO16LE);
  EXPECT_FALSE(LoadSound(empty.Get()));
  EXPECT_EQ(warnings.lines.size(), 3u);
  EXPECT_TRUE(FromBytes(ogg, SOUND_STREAM));  // the uncut stream is fine
}

TEST(SoundDriver, WithoutADeviceEveryCallWorksSilentlyAndTheLogSaysWhy) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  Warnings warnings;
  InitSound();
  EXPECT_EQ(AudioDriverName(), String("Silent"));
  EXPECT_EQ(AudioOutputRate(), 0);
  ASSERT_EQ(warnings.lines.size(), 1u);
  EXPECT_NE(warnings.lines[0].find("dummy"), std::string::npos);
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 2205, 0.5).Get(), SOUND_LOOP);
  ASSERT_TRUE(sound);
  Ref<TChannel> channel = PlaySound(sound.Get());
  ASSERT_TRUE(channel);
  EXPECT_EQ(channel->Voice(), -1);
  SetChannelVolume(channel.Get(), 0.5f);
  SetChannelPan(channel.Get(), 1);
  SetChannelRate(channel.Get(), 2);
  PauseChannel(channel.Get());
  ResumeChannel(channel.Get());
  EXPECT_EQ(ChannelPlaying(channel.Get()), 0);
  StopChannel(channel.Get());
  EXPECT_TRUE(CueSound(sound.Get(), AllocChannel().Get()));
  ShutdownSound();
}

TEST(SoundDriver, ChannelsOfAnEarlierDriverAreDeadAfterARestart) {
  Ref<TChannel> old;
  Ref<TSound> sound = LoadSound(Cosine(441, 22050, 22050, 0.5).Get(), SOUND_LOOP);
  {
    DiskCapture capture;
    ASSERT_TRUE(capture.Running());
    old = PlaySound(sound.Get());
    EXPECT_GE(old->Voice(), 0);
  }
  DiskCapture capture;
  Ref<TChannel> fresh = PlaySound(sound.Get());
  EXPECT_EQ(old->Voice(), -1);
  StopChannel(old.Get());  // must not stop the new driver's voice
  EXPECT_EQ(ChannelPlaying(fresh.Get()), 1);
  EXPECT_EQ(ChannelPlaying(old.Get()), 0);
}

// Plays a streamed sound on the channel and drops it; what is left is a weak
// reference to its encoded bytes, which go with the sound and its feed.
__attribute__((noinline)) std::weak_ptr<const std::vector<std::uint8_t>> PlayStreamedAndDrop(const std::string& path,
                                                                                           TChannel* channel) {
  Ref<TSound> sound = LoadSound(String(path.c_str()), SOUND_STREAM);
  EXPECT_TRUE(sound);
  if (!sound) return {};
  std::weak_ptr<const std::vector<std::uint8_t>> bytes = sound->Encoded();
  PlaySound(sound.Get(), channel);
  return bytes;
}

TEST(SoundDriver, SoundsReplacedOnAKeptChannelAreLetGo) {
  // A program that only ever plays on a channel of its own (no AllocChannel,
  // no ChannelPlaying) still gets the sounds it replaced freed, and their
  // streams stopped, once the mixer is done with them.
  const std::string path = WriteTemp(TwoToneOgg(44100));
  {
    DiskCapture capture;
    ASSERT_TRUE(capture.Running());
    Ref<TChannel> channel = AllocChannel();
    ASSERT_TRUE(channel);
    const auto bytes = PlayStreamedAndDrop(path, channel.Get());
    EXPECT_FALSE(bytes.expired());
    Ref<TSound> beep = LoadSound(Cosine(441, 22050, 2205, 0.5).Get());
    for (int i = 0; i < 40 && !bytes.expired(); ++i) {
      PlaySound(beep.Get(), channel.Get());
      Sleep(50);
      testing_support::CleanPass();
    }
    EXPECT_TRUE(bytes.expired());
  }
  std::remove(path.c_str());
}

// The SDL backend's 16-bit path: the float frames are clipped and scaled.
TEST(SoundDevice, SixteenBitOutputIsClippedAndScaled) {
  char path[] = "/tmp/corvex-s16-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path, 1);
  struct Constant {
    static void Render(void*, float* out, int frames) {
      for (int i = 0; i < frames; ++i) {
        out[2 * i] = 0.5f;
        out[2 * i + 1] = -3.0f;  // beyond full scale
      }
    }
  };
  std::string whyNot;
  {
    std::unique_ptr<AudioDevice> device = OpenAudioDevice(22050, 16, &Constant::Render, nullptr, whyNot);
    ASSERT_TRUE(device) << whyNot;
    EXPECT_EQ(device->Format().sampleBits, 16);
    EXPECT_EQ(device->DriverName(), "disk");
    device->Start();
    Sleep(120);
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::remove(path);
  ASSERT_GE(bytes.size(), 4u);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  // SDL plays silence while the device is paused: before Start and while it
  // closes. Everything between is the clipped, scaled signal.
  std::size_t first = 0, end = samples.size() & ~std::size_t{1};
  while (first < end && samples[first] == 0 && samples[first + 1] == 0) first += 2;
  while (end > first && samples[end - 2] == 0 && samples[end - 1] == 0) end -= 2;
  ASSERT_LT(first, end) << "nothing but silence was played";
  for (std::size_t i = first; i < end; i += 2) {
    ASSERT_EQ(samples[i], 16383) << i;
    ASSERT_EQ(samples[i + 1], -32767) << i;
  }
}

}  // namespace
}  // namespace cvx
