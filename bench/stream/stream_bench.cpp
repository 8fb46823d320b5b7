// Typed reads through the stream layers against a plain memcpy of the same
// bytes, and a whole embedded resource loaded by url. Compare within one run
// as ratios: each typed read costs a few virtual calls (ReadExact, AtEnd, Read).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/endianstream.h"
#include "corvex/stream/filestream.h"
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

// A hand-written reader, as C code parsing a format keeps one: a position, and
// the end checked before every value. Unlike the plain memcpy loop above, which
// the compiler turns into vector additions, it cannot be vectorised, so it shows
// what one checked read per value costs without any stream.
struct CheckedCursor {
  const std::uint8_t* data;
  std::int32_t pos;
  std::int32_t size;
};

void BM_CheckedCursorInt32(benchmark::State& state) {
  CheckedCursor cursor{Block().data(), 0, kBytes};
  benchmark::DoNotOptimize(cursor);
  for (auto _ : state) {
    cursor.pos = 0;
    std::int32_t sum = 0;
    for (std::int32_t at = 0; at < kBytes; at += 4) {
      std::int32_t v = 0;
      if (cursor.size - cursor.pos >= 4) {
        std::memcpy(&v, cursor.data + cursor.pos, 4);
        cursor.pos += 4;
      }
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_CheckedCursorInt32);

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

// The same reads from a bank stream, which asks its bank for the address and
// length on every read (the bank may have been resized in between).
void BM_BankStreamReadInt32(benchmark::State& state) {
  Ref<TBank> bank = NewBank(kBytes);
  std::memcpy(BankAddress(bank.Get()), Block().data(), kBytes);
  Ref<TBankByteStream> s = NewBankByteStream(bank.Get());
  for (auto _ : state) {
    s->Seek(0);
    std::int32_t sum = 0;
    for (std::int32_t at = 0; at < kBytes; at += 4) sum += s->ReadInt32();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_BankStreamReadInt32);

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

// ---- Text lines from a file ---------------------------------------------------

constexpr int kLines = 20000;

// A file of short lines ("line 123", "x = 4.5" and the like), written once.
const std::string& LinesFile() {
  static std::string path = [] {
    std::string p = "/tmp/corvex-bench-lines-" + std::to_string(getpid()) + ".txt";
    std::FILE* f = std::fopen(p.c_str(), "wb");
    for (int i = 0; i < kLines; ++i) std::fprintf(f, i % 3 ? "line %d\n" : "x = %d.5\n", i);
    std::fclose(f);
    std::atexit([] { std::remove(LinesFile().c_str()); });
    return p;
  }();
  return path;
}

void BM_FileReadTextLine(benchmark::State& state) {
  const String path(LinesFile());
  for (auto _ : state) {
    Ref<TFileStream> file = TFileStream::OpenCFile(path, 1, 0);
    std::int64_t units = 0;
    while (!file->AtEnd()) units += file->ReadTextLine().Length();
    file->Close();
    benchmark::DoNotOptimize(units);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  ReclaimMemory();
}
BENCHMARK(BM_FileReadTextLine);

void BM_StdGetline(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream file(LinesFile(), std::ios::binary);
    std::string line;
    std::int64_t units = 0;
    while (std::getline(file, line)) units += static_cast<std::int64_t>(line.size());
    benchmark::DoNotOptimize(units);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_StdGetline);

// ---- Serialisation ----------------------------------------------------------------

// A list of n small banks, every tenth item a second reference to an earlier
// bank, written to a data stream over a growing bank and read back.
void BM_SerializeBankList(benchmark::State& state) {
  InitDataStreams();
  const auto n = static_cast<std::int32_t>(state.range(0));
  Ref<TList> list = NewList();
  std::vector<Ref<TBank>> banks;
  for (std::int32_t i = 0; i < n; ++i) {
    if (i % 10 == 9) {
      list->PushBack(Ref<TObject>(banks[static_cast<std::size_t>(i / 2)]));
      continue;
    }
    Ref<TBank> bank = NewBank(16);
    BankAddress(bank.Get())[0] = static_cast<std::uint8_t>(i);
    banks.push_back(bank);
    list->PushBack(Ref<TObject>(bank));
  }
  auto roundTrip = [&list] {
    Ref<TBankByteStream> bytes = NewBankByteStream(nullptr);
    Ref<TDataStream> out = TDataStream::Create(bytes.Get());
    out->WriteSerialized(list.Get());
    bytes->Seek(0);
    Ref<TDataStream> in = TDataStream::Create(bytes.Get());
    benchmark::DoNotOptimize(in->ReadSerialized().Get());
    ReclaimMemory();
  };
  // One round outside the timing: the large counts run only once or twice,
  // and their first round would also pay for the system's first touch of the
  // heap they grow into, which the small counts' thousands of rounds do not.
  roundTrip();
  for (auto _ : state) roundTrip();
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SerializeBankList)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

// The same graph in plain C++: 16-byte buffers owned by unique_ptrs, a vector
// of item pointers with the same second references, written in the same
// shape (the count, then per item a type byte, the size and the bytes, or 255
// and the number of an object already written; no type names) with an
// unordered_map of written addresses into a vector, and read back into fresh
// allocations. Its growth is what the
// machine's caches give any implementation of this round trip.
void BM_SerializeBankListPlain(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  constexpr std::uint32_t kSize = 16;
  std::vector<std::unique_ptr<std::uint8_t[]>> banks;
  std::vector<const std::uint8_t*> items;
  for (std::int32_t i = 0; i < n; ++i) {
    if (i % 10 == 9) {
      items.push_back(banks[static_cast<std::size_t>(i / 2)].get());
      continue;
    }
    auto bank = std::make_unique<std::uint8_t[]>(kSize);
    bank[0] = static_cast<std::uint8_t>(i);
    items.push_back(bank.get());
    banks.push_back(std::move(bank));
  }
  auto put = [](std::vector<std::uint8_t>& out, const void* bytes, std::size_t count) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), at, at + count);
  };
  auto roundTrip = [&] {
    std::vector<std::uint8_t> out;
    {
      std::unordered_map<const void*, std::uint32_t> written;
      std::uint32_t count = static_cast<std::uint32_t>(items.size());
      put(out, &count, 4);
      for (const std::uint8_t* item : items) {
        auto [at, fresh] = written.emplace(item, static_cast<std::uint32_t>(written.size() + 1));
        if (!fresh) {
          out.push_back(255);
          put(out, &at->second, 4);
          continue;
        }
        out.push_back(1);
        put(out, &kSize, 4);
        put(out, item, kSize);
      }
    }
    std::vector<std::unique_ptr<std::uint8_t[]>> owned;
    std::vector<std::uint8_t*> read;
    std::size_t at = 0;
    auto take = [&](void* into, std::size_t count) {
      if (out.size() - at < count) throw std::runtime_error("short data");
      std::memcpy(into, out.data() + at, count);
      at += count;
    };
    std::uint32_t count = 0;
    take(&count, 4);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint8_t tag = 0;
      take(&tag, 1);
      if (tag == 255) {
        std::uint32_t number = 0;
        take(&number, 4);
        if (number == 0 || number > owned.size()) throw std::runtime_error("bad reference");
        read.push_back(owned[number - 1].get());
        continue;
      }
      std::uint32_t size = 0;
      take(&size, 4);
      auto bank = std::make_unique<std::uint8_t[]>(size);
      take(bank.get(), size);
      read.push_back(bank.get());
      owned.push_back(std::move(bank));
    }
    benchmark::DoNotOptimize(read.data());
  };
  roundTrip();
  for (auto _ : state) roundTrip();
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SerializeBankListPlain)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv); }
