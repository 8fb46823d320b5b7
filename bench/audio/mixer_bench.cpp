// The mixer's cost per channel per second of output, 1 to 64 channels, against
// a plain loop that adds the same float buffers into the output. Compare
// BM_MixChannels/<n> with BM_PlainAdd/<n> (same channel count) as a ratio:
// items per second are channel-seconds of output mixed per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/audio/mixer.h"

namespace cvx {
namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 1024;
constexpr int kSourceFrames = 1 << 16;

std::vector<float> Tone(int channels) {
  std::vector<float> frames(static_cast<std::size_t>(kSourceFrames * channels));
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = 0.1f * std::sin(0.01f * static_cast<float>(i));
  return frames;
}

// Channels looping stereo sources at the output rate (sourceRate == kRate) or
// resampled from 44.1 kHz with interpolation.
void MixChannels(benchmark::State& state, int sourceRate) {
  const int channels = static_cast<int>(state.range(0));
  const std::vector<float> tone = Tone(2);
  audio::Mixer mixer(kRate, kBlock);
  for (int v = 0; v < channels; ++v) {
    audio::VoiceSource source;
    source.frames = tone.data();
    source.length = kSourceFrames;
    source.channels = 2;
    source.rate = sourceRate;
    source.loop = true;
    mixer.Start(v, 1, source, 0.5f, 0, 1, false);
  }
  std::vector<float> out(2 * kBlock);
  for (auto _ : state) {
    mixer.Render(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * channels * kBlock);
  state.counters["channel_seconds_per_s"] =
      benchmark::Counter(double(state.iterations()) * channels * kBlock / kRate, benchmark::Counter::kIsRate);
}

void BM_MixChannels(benchmark::State& state) { MixChannels(state, kRate); }
BENCHMARK(BM_MixChannels)->RangeMultiplier(2)->Range(1, 64);

void BM_MixChannelsResampled(benchmark::State& state) { MixChannels(state, 44100); }
BENCHMARK(BM_MixChannelsResampled)->RangeMultiplier(2)->Range(1, 64);

// The plain path: the same buffers added with a loop, the output cleared and
// clipped the way the mixer does.
void BM_PlainAdd(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  const std::vector<float> tone = Tone(2);
  std::vector<float> out(2 * kBlock);
  std::size_t at = 0;
  for (auto _ : state) {
    std::fill(out.begin(), out.end(), 0.0f);
    for (int c = 0; c < channels; ++c) {
      const float* in = tone.data() + at;
      for (int i = 0; i < 2 * kBlock; ++i) out[static_cast<std::size_t>(i)] += in[i];
    }
    for (float& s : out) s = std::clamp(s, -1.0f, 1.0f);
    at = (at + 2 * kBlock) % (tone.size() - 2 * kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * channels * kBlock);
  state.counters["channel_seconds_per_s"] =
      benchmark::Counter(double(state.iterations()) * channels * kBlock / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainAdd)->RangeMultiplier(2)->Range(1, 64);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv); }
