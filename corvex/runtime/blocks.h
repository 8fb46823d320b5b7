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
// The large block whose room was asked last, and that room: an appending
// string asks again and again for the same block.
extern const void* roomBlock;
extern std::ptrdiff_t roomBytes;

// A fresh block of the class from the current chunk (a new chunk when it is used up).
void* CarveSmall(int sizeClass);

inline int SizeClass(std::ptrdiff_t n) noexcept { return static_cast<int>((n + 15) / 16); }

inline void* Allocate(std::ptrdiff_t n) {
  if (n <= 0) return nullptr;
  // AllocatedBytes is an int: a block it cannot count is refused outright
  // (a corrupt size read from a file must not wrap the counter).
  if (n > std::numeric_limits<int>::max() - allocatedBytes) throw TRuntimeError("Memory block too large");
  void* block;
  if (n <= kLargestSmallBlock) {
    int sizeClass = SizeClass(n);
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

inline void Free(void* block, std::ptrdiff_t n) noexcept {
  if (!block || n <= 0) return;
  if (n <= kLargestSmallBlock) {
    auto* link = static_cast<FreeBlockLink*>(block);
    int sizeClass = SizeClass(n);
    link->next = freeLists[sizeClass];
    freeLists[sizeClass] = link;
  } else {
    if (block == roomBlock) roomBlock = nullptr;
    SystemFree(block);
  }
  allocatedBytes -= static_cast<int>(n);
}

// Blocks with room to grow (the string append): a block that answers for n
// bytes, counted as n in AllocatedBytes, whose memory may hold more. A small
// block holds its size class; a large one holds at least `room` bytes.
void* AllocateWithRoom(std::ptrdiff_t n, std::ptrdiff_t room);
// The bytes the block of n counted bytes can hold without moving: its size
// class when small, what the system allocation holds when large.
std::ptrdiff_t LargeRoom(const void* block) noexcept;
inline std::ptrdiff_t Room(const void* block, std::ptrdiff_t n) noexcept {
  if (n <= kLargestSmallBlock) return 16 * static_cast<std::ptrdiff_t>(SizeClass(n));
  return block == roomBlock ? roomBytes : LargeRoom(block);
}
// Recounts a block of n bytes as newN (n < newN <= Room, and a small block
// stays in its size class, where FreeBlock of newN will return it): true, or
// false (nothing changed) when the block cannot answer for newN.
inline bool GrowInPlace(const void* block, std::ptrdiff_t n, std::ptrdiff_t newN) {
  if (newN <= n) return newN == n;
  if (n <= kLargestSmallBlock ? (newN > kLargestSmallBlock || SizeClass(newN) != SizeClass(n))
                              : newN > Room(block, n)) {
    return false;
  }
  if (newN - n > std::numeric_limits<int>::max() - allocatedBytes) throw TRuntimeError("Memory block too large");
  allocatedBytes += static_cast<int>(newN - n);
  return true;
}

// An object block of size bytes with room to grow, made as TObject's
// operator new makes its blocks (collection trigger, queue room, the
// unconstructed-block list).
void* AllocateObjectWithRoom(std::size_t size, std::size_t room);

}  // namespace cvx::blocks

#include "corvex/runtime/api_end.h"
