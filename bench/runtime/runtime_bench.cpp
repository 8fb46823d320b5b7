// Object lifetime through Ref<T> and the collector against plain new/delete,
// and TList against std::list of pointers. Compare the pairs as ratios.
#include <benchmark/benchmark.h>

#include <list>
#include <string>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/startup.h"
#include "corvex/runtime/string.h"

namespace cvx {
namespace {

struct TBenchObject final : TObject {
  std::int32_t value = 0;
  char payload[20] = {};
};

// The same size and shape (a vtable, a count, the fields), without the runtime.
struct PlainObject {
  virtual ~PlainObject() = default;
  std::uint32_t refs = 0;
  std::int32_t value = 0;
  char payload[20] = {};
};
static_assert(sizeof(PlainObject) == sizeof(TBenchObject));

void BM_RefCollectedObject(benchmark::State& state) {
  for (auto _ : state) {
    Ref<TBenchObject> object = new TBenchObject;
    object->value = 1;
    benchmark::DoNotOptimize(object.Get());
  }
  ReclaimMemory();
}
BENCHMARK(BM_RefCollectedObject);

void BM_PlainNewDelete(benchmark::State& state) {
  for (auto _ : state) {
    auto* object = new PlainObject;
    object->value = 1;
    benchmark::DoNotOptimize(object);
    delete object;
  }
}
BENCHMARK(BM_PlainNewDelete);

constexpr int kItems = 1000;

void BM_TListPushIterateErase(benchmark::State& state) {
  std::vector<Ref<TBenchObject>> items;
  for (int i = 0; i < kItems; ++i) items.push_back(new TBenchObject);
  for (auto _ : state) {
    Ref<TList> list = NewList();
    for (auto& item : items) list->PushBack(item);
    std::int64_t sum = 0;
    for (TBenchObject* item : Each<TBenchObject>(list.Get())) sum += item->value;
    benchmark::DoNotOptimize(sum);
    while (!list->IsEmpty()) list->PopFront();
  }
  ReclaimMemory();
}
BENCHMARK(BM_TListPushIterateErase);

void BM_StdListPushIterateErase(benchmark::State& state) {
  std::vector<PlainObject*> items;
  for (int i = 0; i < kItems; ++i) items.push_back(new PlainObject);
  for (auto _ : state) {
    std::list<PlainObject*> list;
    for (PlainObject* item : items) list.push_back(item);
    std::int64_t sum = 0;
    for (PlainObject* item : list) sum += item->value;
    benchmark::DoNotOptimize(sum);
    while (!list.empty()) list.pop_front();
  }
  for (PlainObject* item : items) delete item;
}
BENCHMARK(BM_StdListPushIterateErase);

// The length of a list of a thousand items, as a HUD asks for it every frame.
void BM_TListLength(benchmark::State& state) {
  Ref<TList> list = NewList();
  for (int i = 0; i < kItems; ++i) list->PushBack(new TBenchObject);
  for (auto _ : state) {
    TList* each = list.Get();
    benchmark::DoNotOptimize(each);
    benchmark::DoNotOptimize(ListLength(each));
  }
  list = nullptr;
  ReclaimMemory();
}
BENCHMARK(BM_TListLength);

void BM_StdListSize(benchmark::State& state) {
  std::list<PlainObject*> list(kItems, nullptr);
  for (auto _ : state) {
    std::list<PlainObject*>* each = &list;
    benchmark::DoNotOptimize(each);
    benchmark::DoNotOptimize(each->size());
  }
}
BENCHMARK(BM_StdListSize);

// Text built a piece at a time, as a HUD line or a log is: 200 short pieces.
constexpr int kPieces = 200;

// String's own append, as the reference uses std::u16string's.
void BM_StringConcatLoop(benchmark::State& state) {
  const String piece = "piece "_s;
  for (auto _ : state) {
    String text;
    for (int i = 0; i < kPieces; ++i) text += piece;
    benchmark::DoNotOptimize(text.Length());
  }
  ReclaimMemory();
}
BENCHMARK(BM_StringConcatLoop);

// The same text built with a + b: every step makes a new immutable string,
// so the copies grow with the square of the pieces.
void BM_StringPlusLoop(benchmark::State& state) {
  const String piece = "piece "_s;
  for (auto _ : state) {
    String text;
    for (int i = 0; i < kPieces; ++i) text = text + piece;
    benchmark::DoNotOptimize(text.Length());
  }
  ReclaimMemory();
}
BENCHMARK(BM_StringPlusLoop);

void BM_StdStringAppendLoop(benchmark::State& state) {
  // UTF-16 units like String's, so both copy the same number of bytes.
  const std::u16string piece = u"piece ";
  for (auto _ : state) {
    std::u16string text;
    for (int i = 0; i < kPieces; ++i) text += piece;
    benchmark::DoNotOptimize(text.size());
  }
}
BENCHMARK(BM_StdStringAppendLoop);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv); }
