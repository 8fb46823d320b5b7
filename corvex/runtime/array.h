/// @file
/// Runtime arrays: counted objects holding a fixed number of elements, with the
/// index check of the language ("Attempt to index array element beyond array length").
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/object.h"

namespace cvx {

template <class T>
/// A counted array of a fixed number of elements of type T, stored in the same
/// block as its header. Indexing outside 0 to Length() - 1 raises TRuntimeError
/// "Attempt to index array element beyond array length".
class TArray final : public TObject {
 public:
  /// A new array of n value-initialised elements (null references for Ref<>).
  static TArray* Make(std::int32_t n) {
    if (n < 0) n = 0;
    void* block = TObject::operator new(BlockSize(n));
    return ::new (block) TArray(n);
  }
  /// Destroys the elements and frees the block.
  static void operator delete(TArray* array, std::destroying_delete_t) {
    std::size_t size = BlockSize(array->length_);
    array->~TArray();
    TObject::operator delete(array, size);
  }

  /// The number of elements.
  std::int32_t Length() const noexcept { return length_; }
  /// @{
  /// Element i; raises the array index error outside 0 to Length() - 1.
  T& operator[](std::int32_t i) {
    if (i < 0 || i >= length_) ThrowArrayIndexError();
    return Data()[i];
  }
  const T& operator[](std::int32_t i) const {
    if (i < 0 || i >= length_) ThrowArrayIndexError();
    return Data()[i];
  }
  /// @}
  /// @{
  /// The first element (no range check).
  T* Data() noexcept { return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + HeaderSize()); }
  const T* Data() const noexcept {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(this) + HeaderSize());
  }
  /// @}
  /// @{
  /// The range of the elements, for range-based for loops.
  T* begin() noexcept { return Data(); }
  T* end() noexcept { return Data() + length_; }
  /// @}

  ~TArray() override {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::int32_t i = 0; i < length_; ++i) Data()[i].~T();
    }
  }

 private:
  static constexpr std::size_t HeaderSize() noexcept {
    return (sizeof(TObject) + sizeof(std::int32_t) + alignof(T) - 1) / alignof(T) * alignof(T);
  }
  static std::size_t BlockSize(std::int32_t n) noexcept {
    return HeaderSize() + sizeof(T) * static_cast<std::size_t>(n);
  }
  explicit TArray(std::int32_t n) : length_(n) {
    if constexpr (std::is_arithmetic_v<T>) {
      // Value-initialised numbers are zero bytes: one clear, not a loop per element.
      if (n > 0) std::memset(static_cast<void*>(Data()), 0, sizeof(T) * static_cast<std::size_t>(n));
    } else {
      for (std::int32_t i = 0; i < n; ++i) ::new (static_cast<void*>(Data() + i)) T();
    }
  }
  std::int32_t length_;
};

template <class T>
/// A counted reference to an array: the usual way to hold one.
using Array = Ref<TArray<T>>;

template <class T>
/// A new array of n value-initialised elements (a negative n gives 0 elements).
Array<T> NewArray(std::int32_t n) {
  return Array<T>(TArray<T>::Make(n));
}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
