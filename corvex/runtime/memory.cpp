#include "corvex/runtime/memory.h"

#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "corvex/runtime/blocks.h"
#include "corvex/runtime/error.h"

namespace cvx {

namespace blocks {

int allocatedBytes = 0;
FreeBlockLink* freeLists[kSizeClasses] = {};

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;

char* chunkCursor = nullptr;
std::size_t chunkRemaining = 0;

}  // namespace

void ThrowBlockTooLarge() { throw TRuntimeError("Memory block too large"); }

void* CarveSmall(int sizeClass) {
  std::size_t needed = 16u * static_cast<std::size_t>(sizeClass);
  if (chunkRemaining < needed) {
    // The rest of the old chunk becomes one block of its own size class.
    if (chunkRemaining >= 16) {
      auto* link = reinterpret_cast<FreeBlockLink*>(chunkCursor);
      int remainderClass = static_cast<int>(chunkRemaining / 16);
      link->next = freeLists[remainderClass];
      freeLists[remainderClass] = link;
    }
    // Chunks are never given back, so a system block is all they need.
    chunkCursor = static_cast<char*>(SystemAllocate(kChunkSize));
    chunkRemaining = kChunkSize;
  }
  void* block = chunkCursor;
  chunkCursor += needed;
  chunkRemaining -= needed;
  return block;
}

void* AllocateWithRoom(std::ptrdiff_t n, std::ptrdiff_t room) {
  if (room <= n) return Allocate(n);
  if (n <= 0) return nullptr;
  if (n > std::numeric_limits<int>::max() - allocatedBytes) ThrowBlockTooLarge();
  void* block = TakeBlock(room);
  allocatedBytes += static_cast<int>(n);
  return block;
}

std::ptrdiff_t LargeRoom(const void* block) noexcept {
  // SystemAllocate keeps malloc's pointer in the word before the block.
  void* raw = static_cast<void* const*>(block)[-1];
  auto offset = static_cast<const char*>(block) - static_cast<const char*>(raw);
  return static_cast<std::ptrdiff_t>(malloc_usable_size(raw)) - offset;
}

}  // namespace blocks

int AllocatedBytes() noexcept { return blocks::allocatedBytes; }

void* AllocateBlock(std::ptrdiff_t n) { return blocks::Allocate(n); }

void FreeBlock(void* block, std::ptrdiff_t n) noexcept { blocks::Free(block, n); }

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
