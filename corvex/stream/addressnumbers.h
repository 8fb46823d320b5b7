/// @file
/// The numbers a data stream gives the objects it writes, by address.
///
/// Address space is cut into regions of 4 KB; each region that holds a written
/// object gets a page of 256 numbers, one per 16-byte unit (two objects never
/// share a unit: every object is at least 16 bytes). A directory, an
/// open-addressing table keyed by region, finds the page, and the last page is
/// kept at hand. The runtime carves objects one after another from its chunks,
/// so a graph's objects lie in runs: consecutive lookups fall in the same page,
/// at neighbouring numbers, and the directory is consulted about once per run.
/// A hash table keyed by whole addresses would scatter those neighbours over
/// all its memory and miss the cache on nearly every object of a large graph.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "corvex/runtime/api_begin.h"

namespace cvx::detail {

class AddressNumbers {
 public:
  // The number kept for address, or 0 (numbers start at 1).
  std::int32_t Find(const void* address) const noexcept {
    const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(address);
    const std::int32_t* page = PageOf(bits >> kRegionShift);
    return page ? page[UnitOf(bits)] : 0;
  }

  // Keeps number (> 0) for an address that is not in the table yet.
  void Add(const void* address, std::int32_t number) {
    const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(address);
    std::int32_t* page = PageOf(bits >> kRegionShift);
    if (!page) page = NewPage(bits >> kRegionShift);
    page[UnitOf(bits)] = number;
    ++count_;
  }

  std::size_t Count() const noexcept { return count_; }
  // The pages made so far (one per region that holds a written object).
  std::size_t Pages() const noexcept { return pages_; }

 private:
  static constexpr unsigned kRegionShift = 12;
  static constexpr std::size_t kUnitsPerPage = std::size_t{1} << (kRegionShift - 4);

  struct Entry {
    std::uintptr_t region;
    std::int32_t* page;  // null: the entry is empty (region 0 is a region like any other)
  };

  static std::size_t UnitOf(std::uintptr_t bits) noexcept { return (bits >> 4) & (kUnitsPerPage - 1); }

  std::size_t SlotOf(std::uintptr_t region) const noexcept {
    // Regions are spread by the multiply: runs of regions (one chunk after
    // another) must not pile up in one stretch of the directory.
    return static_cast<std::size_t>((static_cast<std::uint64_t>(region) * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  std::int32_t* PageOf(std::uintptr_t region) const noexcept {
    if (lastPage_ && lastRegion_ == region) return lastPage_;
    if (!directory_) return nullptr;
    for (std::size_t at = SlotOf(region);; at = (at + 1) & mask_) {
      const Entry& entry = directory_[at];
      if (!entry.page) return nullptr;
      if (entry.region == region) {
        lastRegion_ = region;
        lastPage_ = entry.page;
        return entry.page;
      }
    }
  }

  std::int32_t* NewPage(std::uintptr_t region) {
    if ((pages_ + 1) * 2 > capacity_) GrowDirectory();
    if (blockPagesLeft_ == 0) {
      // Pages come in blocks that double with the pages made so far, so a
      // stream of a few objects stays small and a large one makes few blocks.
      std::size_t pagesInBlock = pages_ < 4 ? 4 : (pages_ < 1024 ? pages_ : 1024);
      blocks_.push_back(std::make_unique<std::int32_t[]>(pagesInBlock * kUnitsPerPage));  // zeroed: no numbers
      blockCursor_ = blocks_.back().get();
      blockPagesLeft_ = pagesInBlock;
    }
    std::int32_t* page = blockCursor_;
    blockCursor_ += kUnitsPerPage;
    --blockPagesLeft_;
    Place(region, page);
    ++pages_;
    lastRegion_ = region;
    lastPage_ = page;
    return page;
  }

  void Place(std::uintptr_t region, std::int32_t* page) noexcept {
    std::size_t at = SlotOf(region);
    while (directory_[at].page) at = (at + 1) & mask_;
    directory_[at] = Entry{region, page};
  }

  void GrowDirectory() {
    std::size_t oldCapacity = capacity_;
    std::unique_ptr<Entry[]> old = std::move(directory_);
    capacity_ = oldCapacity ? oldCapacity * 2 : 16;
    mask_ = capacity_ - 1;
    shift_ = 64;
    for (std::size_t c = capacity_; c > 1; c >>= 1) --shift_;
    directory_ = std::make_unique<Entry[]>(capacity_);  // value-initialised: all empty
    for (std::size_t i = 0; i < oldCapacity; ++i)
      if (old[i].page) Place(old[i].region, old[i].page);
  }

  std::unique_ptr<Entry[]> directory_;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
  std::size_t pages_ = 0;
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<std::int32_t[]>> blocks_;
  std::int32_t* blockCursor_ = nullptr;
  std::size_t blockPagesLeft_ = 0;
  // The page of the latest lookup; pages never move, so it stays valid.
  mutable std::uintptr_t lastRegion_ = 0;
  mutable std::int32_t* lastPage_ = nullptr;
};

}  // namespace cvx::detail

#include "corvex/runtime/api_end.h"
