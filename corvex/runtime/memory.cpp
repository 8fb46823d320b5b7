#include "corvex/runtime/memory.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "corvex/runtime/error.h"

namespace cvx {
namespace {

constexpr std::ptrdiff_t kLargestSmallBlock = 240;
constexpr std::size_t kChunkSize = 64 * 1024;
constexpr int kSizeClasses = 16;  // class k holds blocks of 16 * k bytes, k = 1 .. 15

struct FreeBlockLink {
  FreeBlockLink* next;
};

// Only the main thread allocates runtime blocks, so these are plain globals.
int allocatedBytes = 0;
FreeBlockLink* freeLists[kSizeClasses] = {};
char* chunkCursor = nullptr;
std::size_t chunkRemaining = 0;

void PushFree(int sizeClass, void* block) noexcept {
  auto* link = static_cast<FreeBlockLink*>(block);
  link->next = freeLists[sizeClass];
  freeLists[sizeClass] = link;
}

void* CarveSmall(int sizeClass) {
  std::size_t needed = 16u * static_cast<std::size_t>(sizeClass);
  if (chunkRemaining < needed) {
    // The rest of the old chunk becomes one block of its own size class.
    if (chunkRemaining >= 16) PushFree(static_cast<int>(chunkRemaining / 16), chunkCursor);
    // Chunks are never given back, so a system block is all they need.
    chunkCursor = static_cast<char*>(SystemAllocate(kChunkSize));
    chunkRemaining = kChunkSize;
  }
  void* block = chunkCursor;
  chunkCursor += needed;
  chunkRemaining -= needed;
  return block;
}

}  // namespace

int AllocatedBytes() noexcept { return allocatedBytes; }

void* AllocateBlock(std::ptrdiff_t n) {
  if (n <= 0) return nullptr;
  // AllocatedBytes is an int: a block it cannot count is refused outright
  // (a corrupt size read from a file must not wrap the counter).
  if (n > std::numeric_limits<int>::max() - allocatedBytes) throw TRuntimeError("Memory block too large");
  void* block;
  if (n <= kLargestSmallBlock) {
    int sizeClass = static_cast<int>((n + 15) / 16);
    if (FreeBlockLink* link = freeLists[sizeClass]) {
      freeLists[sizeClass] = link->next;
      block = link;
    } else {
      block = CarveSmall(sizeClass);
    }
  } else {
    block = SystemAllocate(static_cast<std::size_t>(n));
  }
  allocatedBytes += static_cast<int>(n);
  return block;
}

void FreeBlock(void* block, std::ptrdiff_t n) noexcept {
  if (!block || n <= 0) return;
  if (n <= kLargestSmallBlock) {
    PushFree(static_cast<int>((n + 15) / 16), block);
  } else {
    SystemFree(block);
  }
  allocatedBytes -= static_cast<int>(n);
}

void* SystemAllocate(std::size_t n) {
  void* raw = std::malloc(n + 20);
  if (!raw) throw std::bad_alloc();
  auto address = reinterpret_cast<std::uintptr_t>(raw);
  // Always move up by 1 to 16 bytes, so there is room for malloc's pointer.
  std::uintptr_t aligned = (address + 16) & ~static_cast<std::uintptr_t>(15);
  reinterpret_cast<void**>(aligned)[-1] = raw;
  return reinterpret_cast<void*>(aligned);
}

void SystemFree(void* block) noexcept {
  if (!block) return;
  std::free(static_cast<void**>(block)[-1]);
}

}  // namespace cvx
