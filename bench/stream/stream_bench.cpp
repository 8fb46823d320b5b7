// Typed reads through the stream layers against a plain memcpy of the same
// bytes, and a whole embedded resource loaded by url. Compare within one run
// as ratios: each typed read costs a few virtual calls (ReadExact, AtEnd, Read).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/endianstream.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

constexpr std::int32_t kBytes = 64 * 1024;

const std::vector<std::uint8_t>& Block() {
  static std::vector<std::uint8_t> block = [] {
    std::vector<std::uint8_t> b(kBytes);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 31);
    return b;
  }();
  return block;
}

void BM_MemcpyInt32(benchmark::State& state) {
  const auto& block = Block();
  for (auto _ : state) {
    std::int32_t sum = 0;
    for (std::int32_t at = 0; at < kBytes; at += 4) {
      std::int32_t v;
      std::memcpy(&v, block.data() + at, 4);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_MemcpyInt32);

void BM_MemoryStreamReadInt32(benchmark::State& state) {
  Ref<TMemoryStream> s = CreateMemoryStream(Block().data(), kBytes, 1, 0);
  for (auto _ : state) {
    s->Seek(0);
    std::int32_t sum = 0;
    for (std::int32_t at = 0; at < kBytes; at += 4) sum += s->ReadInt32();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_MemoryStreamReadInt32);

void BM_BigEndianViewReadInt32(benchmark::State& state) {
  Ref<TMemoryStream> s = CreateMemoryStream(Block().data(), kBytes, 1, 0);
  Ref<TByteStream> big = BigEndianView(s.Get());
  for (auto _ : state) {
    big->Seek(0);
    std::int32_t sum = 0;
    for (std::int32_t at = 0; at < kBytes; at += 4) sum += big->ReadInt32();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_BigEndianViewReadInt32);

void BM_UrlLoadBytesIncbin(benchmark::State& state) {
  EmbedRegister("bench/block.bin", Block().data(), kBytes);
  for (auto _ : state) {
    Array<std::uint8_t> bytes = UrlLoadBytes("incbin::bench/block.bin");
    benchmark::DoNotOptimize(bytes->Data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_UrlLoadBytesIncbin);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv); }
