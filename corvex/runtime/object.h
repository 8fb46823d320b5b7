/// @file
/// The root object, counted references and the deferred collector.
///
/// Every framework object is allocated by the runtime allocator (see memory.h),
/// starts with a reference count of 0 and is put into the release queue at once.
/// Storing a reference into a Ref<T> retains the new object first and then
/// releases the old one; a count that falls to 0 queues the object again.
/// Objects are destroyed only inside a collection pass (ReclaimMemory), and only
/// when no word of the main thread's stack still points at them. That is what
/// keeps `this` valid in a method whose object has just removed itself from the
/// list that owned it.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/error.h"

namespace cvx {

class String;

// Reference counts with a special meaning.
inline constexpr std::uint32_t kImmortalCount = 0x7FFFFFFF;  ///< static literals: never reach 0
inline constexpr std::uint32_t kSharedCount = 0x40000000;    ///< shared statics (the empty string)
inline constexpr std::uint32_t kQueuedMark = 0x80000000;     ///< bit 31: waiting in the release queue

/// The root of every counted object. Objects are made with new, held through Ref
/// and freed by the collector once their count reaches 0; they cannot be copied.
class TObject {
 public:
  /// A new object with a count of 0 (the first Ref raises it to 1).
  TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  /// May raise: a collection pass reports the error and goes on with the rest
  /// of its queue.
  virtual ~TObject() noexcept(false) {}

  /// The address formatted with "%p".
  virtual String ToString();
  /// This object's address minus the other's; subclasses order by value instead.
  virtual std::intptr_t Compare(TObject* other);

  /// Raises the count by one.
  void Retain() noexcept { ++refs_; }
  /// Lowers the count; at 0 the object goes into the release queue. Never
  /// raises: the queue's room is reserved when objects are made.
  void Release() noexcept {
    if (--refs_ == 0) QueueReleased();
  }
  /// The raw count, including the queued mark in bit 31.
  std::uint32_t RefCount() const noexcept { return refs_; }

  /// Objects live in runtime blocks: they count in AllocatedBytes and are known
  /// to the collector's allocation bitmap. Making an object before
  /// RuntimeStartup raises "RuntimeStartup was not called: ..." (and logs it).
  static void* operator new(std::size_t size);
  /// Gives the block back to the runtime allocator.
  static void operator delete(void* block, std::size_t size) noexcept;
  static void* operator new[](std::size_t) = delete;

  /// Selects the constructor for statically allocated objects.
  struct StaticTag {};

 protected:
  /// For statically allocated objects (literals, the shared empty string): not
  /// queued, not in the bitmap, and given a count that never reaches 0.
  TObject(StaticTag, std::uint32_t count) noexcept : refs_(count) {}

 private:
  friend class Collector;
  // The release queue's side of Release, kept out of line so that the common
  // case (the count stays above 0) is a plain decrement.
  void QueueReleased() noexcept;
  std::uint32_t refs_;
};

/// A counted reference. The empty Ref is the null object: using it through ->
/// or * raises "Attempt to access field or method of Null object".
template <class T>
class Ref {
 public:
  /// The class referred to.
  using element_type = T;

  /// @{
  /// The null object.
  constexpr Ref() noexcept = default;
  constexpr Ref(std::nullptr_t) noexcept {}
  /// @}
  /// A reference to object (retained), or the null object for nullptr.
  Ref(T* object) noexcept : p_(object) {
    if (p_) p_->Retain();
  }
  /// @{
  /// A second reference to other's object (retained), or the one other held
  /// (moved); the U forms convert from a reference to a derived class.
  Ref(const Ref& other) noexcept : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other)
  noexcept : Ref(other.Get()) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& other)
  noexcept : p_(other.Detach()) {}
  /// @}
  /// Releases the object.
  ~Ref() {
    if (p_) p_->Release();
  }

  /// Retain the new object first, then release the old one, so that storing a
  /// reference over itself is safe.
  Ref& operator=(const Ref& other) noexcept {
    Store(other.p_);
    return *this;
  }
  /// Takes over other's reference and releases the old one.
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(p_, std::exchange(other.p_, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  /// @{
  /// Refers to object (or to nothing), releasing the old one.
  Ref& operator=(T* object) noexcept {
    Store(object);
    return *this;
  }
  Ref& operator=(std::nullptr_t) noexcept {
    Store(nullptr);
    return *this;
  }
  /// @}

  /// @{
  /// The object; the null object raises TRuntimeError "Attempt to access field or
  /// method of Null object" (ThrowNullObjectError).
  T* operator->() const {
    if (!p_) ThrowNullObjectError();
    return p_;
  }
  T& operator*() const {
    if (!p_) ThrowNullObjectError();
    return *p_;
  }
  /// @}
  /// Element access for arrays held by reference: array[i] on an Array<T>.
  template <class Index>
  requires requires(T& object, Index index) { object[index]; }
  decltype(auto) operator[](Index index) const { return (**this)[index]; }
  /// The object, or nullptr for the null object (never raises).
  T* Get() const noexcept { return p_; }
  /// True for the null object.
  bool IsNull() const noexcept { return p_ == nullptr; }
  /// True unless the null object.
  explicit operator bool() const noexcept { return p_ != nullptr; }

  /// Gives up the reference without releasing it (the caller takes it over).
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  template <class U>
  /// @{
  /// True when both refer to the same object (or both to nothing).
  bool operator==(const Ref<U>& other) const noexcept {
    return static_cast<const void*>(p_) == static_cast<const void*>(other.Get());
  }
  bool operator==(const T* other) const noexcept { return p_ == other; }
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
  /// @}

 private:
  void Store(T* object) noexcept {
    if (object) object->Retain();
    T* old = std::exchange(p_, object);
    if (old) old->Release();
  }

  T* p_ = nullptr;
};

template <class T, class... Args>
/// A new T made from args, held by a reference.
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

/// The object as a T, or the null object when it is of another class.
template <class T, class U>
Ref<T> RefCast(const Ref<U>& object) noexcept {
  return Ref<T>(dynamic_cast<T*>(object.Get()));
}
template <class T>
/// The object as a T*, or nullptr when it is of another class (or null).
T* As(TObject* object) noexcept {
  // An object asked for as its own class answers from its type before the
  // cast walks the class tree (a data type's body, a stream's own kind).
  if constexpr (requires { static_cast<T*>(object); }) {
    if (object && &typeid(*object) == &typeid(T)) return static_cast<T*>(object);
  }
  return dynamic_cast<T*>(object);
}

// ---- The collector ----------------------------------------------------------

/// @{
/// The collector's mode. Low two bits: 1 automatic collection, 3 collect before
/// every object allocation, 0 or 2 only on request. Bit value 4 prints
/// statistics after each pass.
int ReclaimMode() noexcept;
void SetReclaimMode(int mode) noexcept;
/// @}

/// Runs one collection pass now and returns the bytes it freed. Does nothing and
/// returns 0 while a pass is running or before the runtime has started.
int ReclaimMemory();

int ReclaimQueueLength() noexcept;  ///< objects waiting in the release queue
int ReclaimBitmapPages() noexcept;  ///< pages of the allocation bitmap made so far
int ReclaimThreshold() noexcept;    ///< queue length above which an automatic pass runs
int LastReclaimBytes() noexcept;    ///< bytes freed by the latest pass
int LastReclaimObjects() noexcept;  ///< objects freed by the latest pass
int LastReclaimMillis() noexcept;   ///< duration of the latest pass in ms

/// Records the bounds of the calling (main) thread's stack; the runtime start-up
/// calls it. Passes only ever scan this thread's stack.
void RecordMainThreadStack();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
