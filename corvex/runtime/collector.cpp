// The deferred collector: allocation bitmap, release queue and collection pass.
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "corvex/runtime/blocks.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/stackscan.h"
#include "corvex/runtime/string.h"

#ifdef __GLIBC__
// The stack pointer at the program's entry (glibc's dynamic loader sets it).
extern "C" void* __libc_stack_end;
#endif

namespace cvx {

// ---- Allocation bitmap -------------------------------------------------------
//
// One bit per 16-byte unit of address space. The address space is cut into
// regions of 512 KB; each region that ever holds an object gets a 4096-byte page
// of bits, made on first use. A 32-bit address space has exactly 8192 regions,
// so the table indexes them directly. Here addresses are 64-bit: the table's
// 8192 entries are buckets chosen by the low 13 bits of the region number, and
// each bucket chains the pages of the regions that share those bits.
namespace {

constexpr int kBitmapEntries = 8192;
constexpr int kRegionShift = 19;  // 512 KB per page of bits
constexpr std::size_t kPageBytes = 4096;

struct BitmapPage {
  std::uintptr_t region;
  BitmapPage* next;
  std::uint8_t bits[kPageBytes];
};

BitmapPage** bitmapTable = nullptr;  // made on first use
int bitmapPages = 0;

// Objects come in runs from one chunk, so nearly every lookup asks for the
// page of the lookup before it. Pages are never freed: the cache stays valid.
BitmapPage* lastPage = nullptr;

// The lowest and highest region that has a page: a stack word outside them
// (a small number, a return address, a pointer into the stack) is rejected
// before any table lookup.
std::uintptr_t lowestRegion = UINTPTR_MAX;
std::uintptr_t highestRegion = 0;

__attribute__((noinline)) BitmapPage* FindPageSlow(std::uintptr_t region, bool create) {
  if (!bitmapTable) {
    if (!create) return nullptr;
    bitmapTable = static_cast<BitmapPage**>(std::calloc(kBitmapEntries, sizeof(BitmapPage*)));
    if (!bitmapTable) throw std::bad_alloc();
  }
  BitmapPage*& bucket = bitmapTable[region & (kBitmapEntries - 1)];
  for (BitmapPage* page = bucket; page; page = page->next) {
    if (page->region == region) return lastPage = page;
  }
  if (!create) return nullptr;
  auto* page = static_cast<BitmapPage*>(std::calloc(1, sizeof(BitmapPage)));
  if (!page) throw std::bad_alloc();
  page->region = region;
  page->next = bucket;
  bucket = page;
  ++bitmapPages;
  lowestRegion = std::min(lowestRegion, region);
  highestRegion = std::max(highestRegion, region);
  return lastPage = page;
}

inline BitmapPage* FindPage(std::uintptr_t address, bool create) {
  std::uintptr_t region = address >> kRegionShift;
  if (lastPage && lastPage->region == region) return lastPage;
  // Objects of two regions in turn (blocks of one size class reused from
  // chunks far apart) miss the last page every time: the page that heads its
  // bucket answers without a call.
  if (bitmapTable) {
    BitmapPage* page = bitmapTable[region & (kBitmapEntries - 1)];
    if (page && page->region == region) return lastPage = page;
  }
  return FindPageSlow(region, create);
}

inline std::size_t BitIndex(std::uintptr_t address) {
  return (address & ((std::uintptr_t{1} << kRegionShift) - 1)) >> 4;
}

// Errors of the allocation paths are raised out of line, so that the paths
// themselves need no stack frame for building them.
[[noreturn]] __attribute__((noinline, cold)) void ThrowRuntimeError(const char* message) {
  throw TRuntimeError(message);
}

void SetMemBit(const void* object) {
  auto address = reinterpret_cast<std::uintptr_t>(object);
  BitmapPage* page = FindPage(address, true);
  std::size_t bit = BitIndex(address);
  std::uint8_t mask = static_cast<std::uint8_t>(1u << (bit & 7));
  if (page->bits[bit >> 3] & mask) ThrowRuntimeError("GC setMemBit: membit already set!");
  page->bits[bit >> 3] |= mask;
}

// The byte and mask of an address's bit when its page is the latest one
// looked up or heads its bucket, else null: the common case of the hot
// paths, as a leaf.
inline std::uint8_t* ByteOnKnownPage(std::uintptr_t address, std::uint8_t* mask) noexcept {
  std::uintptr_t region = address >> kRegionShift;
  BitmapPage* page = lastPage;
  if (!page || page->region != region) {
    if (!bitmapTable) return nullptr;
    page = bitmapTable[region & (kBitmapEntries - 1)];
    if (!page || page->region != region) return nullptr;
    lastPage = page;
  }
  std::size_t bit = BitIndex(address);
  *mask = static_cast<std::uint8_t>(1u << (bit & 7));
  return &page->bits[bit >> 3];
}

// Reached from operator delete, which must not throw: a bit that is not set
// means the bitmap and the heap disagree, which is reported and left as it is.
__attribute__((noinline)) void ClearMemBitSlowly(const void* object) noexcept {
  auto address = reinterpret_cast<std::uintptr_t>(object);
  BitmapPage* page = FindPage(address, false);
  std::size_t bit = BitIndex(address);
  std::uint8_t mask = static_cast<std::uint8_t>(1u << (bit & 7));
  if (!page || !(page->bits[bit >> 3] & mask)) {
    LogError("GC clrMemBit: membit not set! (freeing %p)", object);
    return;
  }
  page->bits[bit >> 3] &= static_cast<std::uint8_t>(~mask);
}

inline void ClearMemBit(const void* object) noexcept {
  std::uint8_t mask;
  std::uint8_t* byte = ByteOnKnownPage(reinterpret_cast<std::uintptr_t>(object), &mask);
  if (byte && (*byte & mask)) {
    *byte = static_cast<std::uint8_t>(*byte & ~mask);
    return;
  }
  ClearMemBitSlowly(object);
}

// Whether a stack word refers to an allocated object: a multiple of 16 with its bit set.
__attribute__((no_sanitize_address)) inline bool IsObjectAddress(std::uintptr_t word) {
  if (word & 15) return false;
  std::uintptr_t region = word >> kRegionShift;
  if (region < lowestRegion || region > highestRegion) return false;
  BitmapPage* page = FindPage(word, false);
  if (!page) return false;
  std::size_t bit = BitIndex(word);
  return (page->bits[bit >> 3] >> (bit & 7)) & 1;
}

// ---- Collector state -----------------------------------------------------------

int reclaimMode = 1;
int threshold = 500;
int bytesSinceCollection = 0;
int lastBytesFreed = 0;
int lastObjectsFreed = 0;
int lastMillis = 0;
bool passRunning = false;

// The release queue. A plain array that grows by 1024 entries; entries are
// appended while a pass walks it (destructors release references).
//
// Releasing must not throw (it runs in destructors), so the room is reserved
// when objects are made: outside a pass an object is in the queue at most
// once, so room for every object there is keeps Release from ever growing
// the queue. Only a pass, whose destructors can queue an object a second
// time, may still need to grow it while releasing.
TObject** queue = nullptr;
int queueLength = 0;
int queueCapacity = 0;
int trackedObjects = 0;  // objects in the bitmap, each of which may be queued
bool queueFullReported = false;

constexpr int kQueueGrowth = 1024;

// An automatic pass runs once this many bytes of objects have been made since the last one.
constexpr int kBytesBetweenPasses = 0x100000;

// A pass asks for the counts of entries this far ahead of the one it is at.
constexpr int kPrefetchDistance = 8;

// The queue always has kPrefetchDistance slots more than its capacity, all
// past the entries null or stale pointers: a pass reads ahead without a bound
// check (a prefetch of any address is harmless).
bool GrowQueue(int capacity) noexcept {
  auto slots = static_cast<std::size_t>(capacity) + kPrefetchDistance;
  auto* grown = static_cast<TObject**>(std::realloc(queue, sizeof(TObject*) * slots));
  if (!grown) return false;
  std::size_t kept = queue ? static_cast<std::size_t>(queueCapacity) + kPrefetchDistance : 0;
  std::memset(grown + kept, 0, sizeof(TObject*) * (slots - kept));
  queue = grown;
  queueCapacity = capacity;
  return true;
}

std::vector<TObject*>* roots = nullptr;

std::uintptr_t stackBase = 0;  // highest address of the main thread's stack
pthread_t mainThread;

// Blocks that operator new has handed out but whose TObject constructor has not
// run yet. In `new T(args)` the block is allocated before the arguments are
// evaluated, and an argument may allocate (and so collect). Such a block holds
// stale bytes, so it only enters the bitmap once its header is set; until then
// no stack word can make it a root.
void** unconstructed = nullptr;
int unconstructedCount = 0;
int unconstructedCapacity = 0;

__attribute__((noinline)) void GrowUnconstructed() {
  int capacity = unconstructedCapacity + 64;
  auto* grown = static_cast<void**>(std::realloc(unconstructed, sizeof(void*) * static_cast<std::size_t>(capacity)));
  if (!grown) throw std::bad_alloc();
  unconstructed = grown;
  unconstructedCapacity = capacity;
}

// Whether the queue has room for one more object than there are now.
inline bool QueueHasRoomForNewObject() noexcept {
  return queueCapacity >= std::max(trackedObjects, queueLength) + unconstructedCount + 1;
}

// Room for one more object than there are now; raises bad_alloc where there
// is no memory for it, as making the object would.
void ReserveQueueForNewObject() {
  if (QueueHasRoomForNewObject()) return;
  if (!GrowQueue(queueCapacity + kQueueGrowth + trackedObjects / 4)) throw std::bad_alloc();
}

// Takes the block off the list; false when it was not on it.
inline bool TakeUnconstructed(const void* block) noexcept {
  // Nearly always the list is empty (a pass freeing objects) or the block is
  // its last entry (a constructor running).
  if (unconstructedCount == 0) return false;
  if (unconstructed[unconstructedCount - 1] == block) {
    --unconstructedCount;
    return true;
  }
  // Nested new-expressions finish innermost first, so the block is nearly always the last one.
  for (int i = unconstructedCount - 1; i >= 0; --i) {
    if (unconstructed[i] == block) {
      for (int k = i + 1; k < unconstructedCount; ++k) unconstructed[k - 1] = unconstructed[k];
      --unconstructedCount;
      return true;
    }
  }
  return false;
}

}  // namespace

class Collector {
 public:
  static void Enqueue(TObject* object) noexcept {
    if (object->refs_ != 0) {
      LogError("GC cvGCFree: mem has non-0 refs (%p, count %x)", static_cast<void*>(object), object->refs_);
      return;
    }
    if (queueLength == queueCapacity && !GrowQueue(queueCapacity + kQueueGrowth)) {
      // No memory for the queue: the object is kept for good rather than
      // freed while something may still use it.
      if (!queueFullReported) LogError("collector: no memory to queue released objects; they are kept");
      queueFullReported = true;
      object->refs_ = kSharedCount;
      return;
    }
    Append(object);
  }

  // Puts an object at the end of the queue, where there is room for it.
  static void Append(TObject* object) noexcept {
    queue[queueLength++] = object;
    object->refs_ = kQueuedMark;
  }

  // A new object, whose count is 0. Operator new reserved its entry; only a
  // pass, whose destructors may queue objects a second time, can have used it
  // up since.
  static void EnqueueNew(TObject* object) noexcept {
    if (queueLength == queueCapacity) return Enqueue(object);
    Append(object);
  }

  // An object whose constructor threw is deleted by the language, not by a
  // pass: take it out of the queue so the pass never sees it.
  static void Forget(TObject* object) noexcept {
    for (int i = queueLength - 1; i >= 0; --i) {
      if (queue[i] == object) {
        queue[i] = nullptr;
        return;
      }
    }
  }

  static std::uint32_t& Count(TObject* object) noexcept { return object->refs_; }

  // A new object's place in the bitmap and the queue, when it is a runtime
  // block; anything else is never queued.
  static __attribute__((noinline)) void Register(TObject* object);
};

void Collector::Register(TObject* object) {
  if (TakeUnconstructed(object)) {
    SetMemBit(object);
    ++trackedObjects;
    EnqueueNew(object);
  } else {
    // Not a runtime block (an object misplaced on the stack or inside another
    // object): a pass must never free it, so it is never queued.
    object->refs_ = kSharedCount;
  }
}

namespace {

bool destroyingInPass = false;

// Gathers the objects that words of the stack between `from` and the stack base
// point to. The words are read as they are: this must not be instrumented.
__attribute__((no_sanitize_address, noinline)) void ScanStackWords(const std::uintptr_t* from, int* scanned) {
  const auto* end = reinterpret_cast<const std::uintptr_t*>(stackBase);
  *scanned = from < end ? static_cast<int>(end - from) : 0;
  // No object was ever made, or no stack is left to read.
  if (highestRegion < lowestRegion || from >= end) return;
  // Most words are no candidate at all (not a multiple of 16, or outside the
  // regions that hold objects): blocks of them are passed over at once.
  const detail::CandidateFilter filter =
      detail::FilterFor(lowestRegion << kRegionShift, (highestRegion - lowestRegion + 1) << kRegionShift);
  auto check = [](std::uintptr_t word) {
    if (IsObjectAddress(word)) roots->push_back(reinterpret_cast<TObject*>(word));
  };
  const std::uintptr_t* p = from;
  while (end - p >= detail::kScanBlockWords) {
    p = detail::NextCandidateBlock(p, end, filter);
    if (end - p < detail::kScanBlockWords) break;
    for (int i = 0; i < detail::kScanBlockWords; ++i) check(p[i]);
    p += detail::kScanBlockWords;
  }
  for (; p < end; ++p) check(*p);
}

// Spills the callee-saved registers into this frame (so that pointers held only
// in registers are seen), then scans from here up to the stack base.
__attribute__((no_sanitize_address, noinline)) void GatherRoots(int* scanned) {
  __builtin_unwind_init();
  volatile std::uintptr_t marker = 0;
  const auto* from = reinterpret_cast<const std::uintptr_t*>(reinterpret_cast<std::uintptr_t>(&marker) &
                                                             ~static_cast<std::uintptr_t>(sizeof(std::uintptr_t) - 1));
  ScanStackWords(from, scanned);
  (void)marker;
}

int Milliseconds() {
  using namespace std::chrono;
  return static_cast<int>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Whether an automatic pass is due, with `bytes` allocated since the last one.
inline bool PassDue(int bytes) noexcept { return bytes > kBytesBetweenPasses || queueLength > threshold; }

void AutoCollect(std::size_t size) {
  int mode = reclaimMode & 3;
  if (mode == 3) {
    ReclaimMemory();
    return;
  }
  if (mode != 1) return;
  bytesSinceCollection += static_cast<int>(size);
  if (PassDue(bytesSinceCollection)) {
    ReclaimMemory();
    threshold = threshold - lastObjectsFreed + 500;
    bytesSinceCollection = 0;
  }
}

}  // namespace

// ---- TObject -------------------------------------------------------------------

TObject::TObject() : refs_(0) {
  // The common case as a leaf: the newest block of operator new, on the page
  // of the latest lookup, with room in the queue.
  if (unconstructedCount != 0 && unconstructed[unconstructedCount - 1] == this && queueLength < queueCapacity) {
    std::uint8_t mask;
    std::uint8_t* byte = ByteOnKnownPage(reinterpret_cast<std::uintptr_t>(this), &mask);
    if (byte && !(*byte & mask)) {
      *byte = static_cast<std::uint8_t>(*byte | mask);
      --unconstructedCount;
      ++trackedObjects;
      Collector::Append(this);
      return;
    }
  }
  Collector::Register(this);
}

void TObject::QueueReleased() noexcept {
  // The common case as a leaf: room in the queue.
  if (refs_ == 0 && queueLength < queueCapacity) {
    Collector::Append(this);
    return;
  }
  Collector::Enqueue(this);
}

namespace {

// Without the stack's bounds no pass can run, so every object would be kept
// for good: a program that forgot the start-up is told at once.
[[noreturn]] __attribute__((noinline, cold)) void ThrowNotStarted() {
  LogError("an object was made before RuntimeStartup was called");
  throw TRuntimeError("RuntimeStartup was not called: start the runtime before making any object");
}

inline void* NewObjectBlock(std::size_t size, std::size_t room) {
  if (!stackBase) ThrowNotStarted();
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) ThrowRuntimeError("Memory block too large");
  if (!passRunning) AutoCollect(size);
  ReserveQueueForNewObject();
  // The room on the list comes first: nothing can fail once the block is taken.
  if (unconstructedCount == unconstructedCapacity) GrowUnconstructed();
  auto n = static_cast<std::ptrdiff_t>(size);
  void* block = room > size ? blocks::AllocateWithRoom(n, static_cast<std::ptrdiff_t>(room)) : blocks::Allocate(n);
  unconstructed[unconstructedCount++] = block;
  return block;
}

}  // namespace

void* blocks::AllocateObjectWithRoom(std::size_t size, std::size_t room) { return NewObjectBlock(size, room); }

void* TObject::operator new(std::size_t size) {
  // The common case, without a call or a stack frame: automatic mode with no
  // pass due, a free block of the size class, room in the queue and on the
  // list of unconstructed blocks. Anything else, every error included, takes
  // the full path (before the start-up the queue has no room at all).
  if (size <= static_cast<std::size_t>(blocks::kLargestSmallBlock) && (reclaimMode & 3) == 1 && !passRunning) {
    const int n = static_cast<int>(size);
    const int sizeClass = blocks::SizeClass(n);
    blocks::FreeBlockLink* link = blocks::freeLists[sizeClass];
    const int bytes = bytesSinceCollection + n;
    if (link && !PassDue(bytes) && QueueHasRoomForNewObject() && unconstructedCount < unconstructedCapacity &&
        n <= std::numeric_limits<int>::max() - blocks::allocatedBytes) {
      bytesSinceCollection = bytes;
      blocks::FreeBlockLink* next = link->next;
      blocks::freeLists[sizeClass] = next;
      // The next block of the class is asked for now: freed long ago, it is
      // rarely in the cache, and the next object of this size will need it.
      __builtin_prefetch(next, 1);
      blocks::allocatedBytes += n;
      unconstructed[unconstructedCount++] = link;
      return link;
    }
  }
  return NewObjectBlock(size, size);
}

void blocks::FreeObjectWithRoom(void* block, std::size_t size, std::size_t room) noexcept {
  if (!block) return;
  auto n = static_cast<std::ptrdiff_t>(size);
  auto held = static_cast<std::ptrdiff_t>(room > size ? room : size);
  if (TakeUnconstructed(block)) {
    // Evaluating the constructor's arguments threw: no object was ever made here.
    blocks::FreeHeld(block, n, held);
    return;
  }
  // Deleted outside a pass only when a constructor threw.
  if (!destroyingInPass) Collector::Forget(static_cast<TObject*>(block));
  ClearMemBit(block);
  --trackedObjects;
  blocks::FreeHeld(block, n, held);
}

void TObject::operator delete(void* block, std::size_t size) noexcept {
  // The common case, without a call: a pass freeing an object while no block
  // waits for its constructor.
  if (destroyingInPass && unconstructedCount == 0 && block) {
    ClearMemBit(block);
    --trackedObjects;
    blocks::Free(block, static_cast<std::ptrdiff_t>(size));
    return;
  }
  blocks::FreeObjectWithRoom(block, size, size);
}

String TObject::ToString() {
  char text[32];
  std::snprintf(text, sizeof text, "%p", static_cast<void*>(this));
  return String(text);
}

std::intptr_t TObject::Compare(TObject* other) {
  return reinterpret_cast<std::intptr_t>(this) - reinterpret_cast<std::intptr_t>(other);
}

// ---- The pass ------------------------------------------------------------------

int ReclaimMode() noexcept { return reclaimMode; }
void SetReclaimMode(int mode) noexcept { reclaimMode = mode; }
int ReclaimQueueLength() noexcept { return queueLength; }
int ReclaimBitmapPages() noexcept { return bitmapPages; }
int ReclaimThreshold() noexcept { return threshold; }
int LastReclaimBytes() noexcept { return lastBytesFreed; }
int LastReclaimObjects() noexcept { return lastObjectsFreed; }
int LastReclaimMillis() noexcept { return lastMillis; }

void RecordMainThreadStack() {
  mainThread = pthread_self();
  pthread_attr_t attr;
  void* address = nullptr;
  std::size_t size = 0;
  if (pthread_getattr_np(mainThread, &attr) == 0) {
    pthread_attr_getstack(&attr, &address, &size);
    pthread_attr_destroy(&attr);
  }
  if (address && size) {
    stackBase = reinterpret_cast<std::uintptr_t>(address) + size;
#ifdef __GLIBC__
    // Above the stack pointer that the program started with lie only what the
    // system put there before it ran (arguments, environment, auxiliary
    // vector), never a reference to an object: passes need not read it.
    auto start = reinterpret_cast<std::uintptr_t>(__libc_stack_end);
    if (start > reinterpret_cast<std::uintptr_t>(address) && start < stackBase) {
      stackBase = (start + sizeof(std::uintptr_t) - 1) & ~static_cast<std::uintptr_t>(sizeof(std::uintptr_t) - 1);
    }
#endif
  } else {
    // Fall back to this frame: everything the program holds lies below it.
    volatile int here = 0;
    stackBase = reinterpret_cast<std::uintptr_t>(&here) + 4096;
  }
}

int ReclaimMemory() {
  if (passRunning || !stackBase) return 0;
  if (!pthread_equal(pthread_self(), mainThread)) return 0;
  passRunning = true;
  int bytesBefore = AllocatedBytes();
  int started = Milliseconds();

  // Never destroyed, so that a pass late in the program's exit still has it.
  static auto* rootStore = new std::vector<TObject*>;
  std::vector<TObject*>& rootBuffer = *rootStore;
  roots = &rootBuffer;
  rootBuffer.clear();
  int scanned = 0;
  GatherRoots(&scanned);
  for (TObject* root : rootBuffer) ++Collector::Count(root);

  int freed = 0;
  destroyingInPass = true;
  for (int i = 0; i < queueLength; ++i) {
    // The queue holds objects from all over the heap: their counts are asked
    // for a few entries ahead, so that the misses overlap.
    __builtin_prefetch(queue[i + kPrefetchDistance], 1);
    TObject* object = queue[i];
    if (!object) continue;
    std::uint32_t& count = Collector::Count(object);
    if (static_cast<std::int32_t>(count) >= 0) {
      std::printf("bad refs:obj=$%" PRIxPTR " refs=$%x\n", reinterpret_cast<std::uintptr_t>(object), count);
      if (String::IsString(object)) {
        const TStringBody* text = String::FromObject(object).Body();
        std::printf("String:");
        for (std::int32_t k = 0; k < text->Length(); ++k) std::putchar(text->Units()[k] & 0xFF);
        std::printf("\n");
      }
      std::fflush(stdout);
    }
    count &= ~kQueuedMark;
    if (count == 0) {
      // The block is freed even when the destructor throws; the error is
      // reported and the rest of the queue is still collected.
      try {
        delete object;
      } catch (const std::exception& error) {
        LogError("collector: a destructor raised during a collection: %s", error.what());
      } catch (...) {
        LogError("collector: a destructor raised during a collection");
      }
      ++freed;
    }
  }
  destroyingInPass = false;
  queueLength = 0;

  for (TObject* root : rootBuffer) {
    std::uint32_t& count = Collector::Count(root);
    if (--count == 0) Collector::Enqueue(root);
  }
  int roots_found = static_cast<int>(rootBuffer.size());
  rootBuffer.clear();

  lastBytesFreed = bytesBefore - AllocatedBytes();
  lastObjectsFreed = freed;
  lastMillis = Milliseconds() - started;
  if (reclaimMode & 4) {
    std::printf("GC collectMem: memFreed=%i, time=%ims, objsFreed=%i, objsScanned=%i, objsLive=%i\n", lastBytesFreed,
                lastMillis, freed, scanned, roots_found);
    std::fflush(stdout);
  }
  passRunning = false;
  return lastBytesFreed;
}

}  // namespace cvx
