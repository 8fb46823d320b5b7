/// @file
/// The runtime allocator: every object, string and array block comes from here
/// and is counted in AllocatedBytes.
///
/// Blocks of up to 240 bytes come from per-size free lists (size classes of 16
/// bytes) carved out of 64 KB chunks and are never returned to the system;
/// larger blocks are aligned system allocations. Every block is 16-byte aligned.
#pragma once

#include <cstddef>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The sum of the requested sizes of all blocks currently allocated.
int AllocatedBytes() noexcept;

/// A block of n bytes (n <= 0 gives nullptr). The caller frees it with the same n.
/// A block that would take AllocatedBytes past the int range raises
/// "Memory block too large".
void* AllocateBlock(std::ptrdiff_t n);
/// Gives back a block of AllocateBlock with the same n (nullptr does nothing).
void FreeBlock(void* block, std::ptrdiff_t n) noexcept;

/// malloc of n + 20 bytes, aligned up to 16 (16 is added when already aligned),
/// with malloc's pointer kept in the word before the returned address. These
/// blocks are not counted in AllocatedBytes.
void* SystemAllocate(std::size_t n);
/// Frees a block of SystemAllocate (nullptr does nothing).
void SystemFree(void* block) noexcept;

/// A deleter for std::unique_ptr of SystemAllocate blocks.
struct SystemBlockDeleter {
  /// Frees block (SystemFree).
  void operator()(void* block) const noexcept { SystemFree(block); }
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
