// The allocator's small-block free lists, for the runtime's own hot paths
// (object creation and the collection pass): inline, so that making or
// freeing an object costs no call into the allocator. Everyone else uses
// AllocateBlock / FreeBlock (memory.h), which are these same functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "corvex/runtime/error.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/api_begin.h"

namespace cvx::blocks {

inline constexpr std::ptrdiff_t kLargestSmallBlock = 240;
inline constexpr int kSizeClasses = 16;  // class k holds blocks of 16 * k bytes, k = 1 .. 15

/// A freed small block, linked into its size class's free list.
struct FreeBlockLink {
  FreeBlockLink* next;  ///< the next free block of the class, or null
};

// Only the main thread allocates runtime blocks, so these are plain globals.
extern int allocatedBytes;
extern FreeBlockLink* freeLists[kSizeClasses];

// Raises the error for a block that AllocatedBytes cannot count.
[[noreturn]] void ThrowBlockTooLarge();

// A fresh block of the class from the current chunk (a new chunk when it is used up).
void* CarveSmall(int sizeClass);

inline int SizeClass(std::ptrdiff_t n) noexcept { return static_cast<int>((n + 15) >> 4); }  // n > 0

// A block that holds `held` bytes: from its size class's free list, carved,
// or from the system for a large one. Counts nothing.
inline void* TakeBlock(std::ptrdiff_t held) {
  if (held <= kLargestSmallBlock) {
    int sizeClass = SizeClass(held);
    if (FreeBlockLink* link = freeLists[sizeClass]) {
      freeLists[sizeClass] = link->next;
      __builtin_prefetch(link->next, 1);  // the class's next block, for the next request
      return link;
    }
    return CarveSmall(sizeClass);
  }
  return SystemAllocate(static_cast<std::size_t>(held));
}

inline void* Allocate(std::ptrdiff_t n) {
  if (n <= 0) return nullptr;
  // AllocatedBytes is an int: a block it cannot count is refused outright
  // (a corrupt size read from a file must not wrap the counter).
  if (n > std::numeric_limits<int>::max() - allocatedBytes) ThrowBlockTooLarge();
  void* block = TakeBlock(n);
  allocatedBytes += static_cast<int>(n);
  return block;
}

// Gives back a block that counts as n bytes and holds `held` (n for blocks of
// Allocate; the room of AllocateWithRoom): a small held size returns it to
// that size class.
inline void FreeHeld(void* block, std::ptrdiff_t n, std::ptrdiff_t held) noexcept {
  if (!block || n <= 0) return;
  if (held <= kLargestSmallBlock) {
    auto* link = static_cast<FreeBlockLink*>(block);
    int sizeClass = SizeClass(held);
    link->next = freeLists[sizeClass];
    freeLists[sizeClass] = link;
  } else {
    SystemFree(block);
  }
  allocatedBytes -= static_cast<int>(n);
}

inline void Free(void* block, std::ptrdiff_t n) noexcept { FreeHeld(block, n, n); }

// Blocks with room to grow (the string append): a block that counts as n
// bytes in AllocatedBytes and holds room bytes (n <= room): a block of room's
// size class when room is small, else a system block of at least room bytes.
// FreeHeld with the same n and room gives it back.
void* AllocateWithRoom(std::ptrdiff_t n, std::ptrdiff_t room);
// The bytes a system block (of Allocate or AllocateWithRoom above the small
// sizes) holds: what malloc gave it, which may be more than was asked.
std::ptrdiff_t LargeRoom(const void* block) noexcept;

// An object block of size bytes with room to grow, made as TObject's
// operator new makes its blocks (collection trigger, queue room, the
// unconstructed-block list), and its counterpart to TObject's operator
// delete for such a block.
void* AllocateObjectWithRoom(std::size_t size, std::size_t room);
void FreeObjectWithRoom(void* block, std::size_t size, std::size_t room) noexcept;

}  // namespace cvx::blocks

#include "corvex/runtime/api_end.h"
