/// @file
/// The numbers a data stream gives the objects it writes, by address: an
/// open-addressing table of (address, number) pairs in one block, so a lookup
/// is one probe run over adjacent slots instead of a walk from a bucket to a
/// separately allocated node. Writing a graph of a million objects looks up
/// every reference, so this is where the cache misses of serialising were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "corvex/runtime/api_begin.h"

namespace cvx::detail {

class AddressNumbers {
 public:
  // The number kept for address, or 0 (numbers start at 1).
  std::int32_t Find(const void* address) const noexcept {
    if (count_ == 0) return 0;
    for (std::size_t at = SlotOf(address);; at = (at + 1) & mask_) {
      const Slot& slot = slots_[at];
      if (slot.address == address) return slot.number;
      if (!slot.address) return 0;
    }
  }

  // Keeps number (> 0) for an address that is not in the table yet.
  void Add(const void* address, std::int32_t number) {
    if ((count_ + 1) * 2 > capacity_) Grow();
    Place(address, number);
    ++count_;
  }

  std::size_t Count() const noexcept { return count_; }

 private:
  struct Slot {
    const void* address;
    std::int32_t number;
  };

  std::size_t SlotOf(const void* address) const noexcept {
    // Objects are at least 16-byte aligned: the low bits carry nothing, and
    // the multiply spreads neighbouring addresses over the whole table.
    auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address)) >> 4;
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
  }

  void Place(const void* address, std::int32_t number) noexcept {
    std::size_t at = SlotOf(address);
    while (slots_[at].address) at = (at + 1) & mask_;
    slots_[at] = Slot{address, number};
  }

  void Grow() {
    std::size_t oldCapacity = capacity_;
    std::unique_ptr<Slot[]> old = std::move(slots_);
    capacity_ = oldCapacity ? oldCapacity * 2 : 64;
    mask_ = capacity_ - 1;
    shift_ = 64;
    for (std::size_t c = capacity_; c > 1; c >>= 1) --shift_;
    slots_ = std::make_unique<Slot[]>(capacity_);  // value-initialised: all empty
    for (std::size_t i = 0; i < oldCapacity; ++i)
      if (old[i].address) Place(old[i].address, old[i].number);
  }

  std::unique_ptr<Slot[]> slots_;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
  std::size_t count_ = 0;
};

}  // namespace cvx::detail

#include "corvex/runtime/api_end.h"
