/// @file
/// TList: the general container, a circular doubly linked list of counted
/// object references with a sentinel node. A cursor holds the node after the
/// item it last returned, so the program may unlink that item while iterating.
///
///   for (auto cursor = list->Cursor(); cursor->HasMore();) {
///     Ref<TObject> item = cursor->NextItem();
///     ...
///   }
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"

namespace cvx {

class TList;

class TListNode final : public TObject {
 public:
  Ref<TObject> Item() const { return item_; }
  /// The next / previous node, or the null object when it is the sentinel.
  Ref<TListNode> NextNode() const;
  Ref<TListNode> PrevNode() const;
  /// Drops the item and takes the node out of its list; the node keeps its
  /// old neighbours, so a cursor standing on it can still move on.
  void Unlink();

  bool IsSentinel() const noexcept { return item_.Get() == this; }

 private:
  friend class TList;
  friend class TListCursor;
  Ref<TObject> item_;
  Ref<TListNode> nextNode_;
  Ref<TListNode> prevNode_;
};

class TListCursor final : public TObject {
 public:
  explicit TListCursor(TListNode* node) : node_(node) {}
  int HasMore() const;
  Ref<TObject> NextItem();

 private:
  Ref<TListNode> node_;
};

using ObjectArray = Array<Ref<TObject>>;

class TList final : public TSerializable {
 public:
  TList();
  ~TList() override;

  Ref<TDataType> DataTypeOf() override;

  void RemoveAll();
  int IsEmpty() const;
  int Holds(TObject* value) const;
  int Holds(const Ref<TObject>& value) const { return Holds(value.Get()); }
  Ref<TListNode> PushFront(const Ref<TObject>& value);
  Ref<TListNode> PushBack(const Ref<TObject>& value);
  Ref<TObject> Front() const;
  Ref<TObject> Back() const;
  /// Empty lists are left intact and give the null object.
  Ref<TObject> PopFront();
  Ref<TObject> PopBack();
  Ref<TListNode> FrontNode() const;
  Ref<TListNode> BackNode() const;
  Ref<TListNode> InsertBefore(const Ref<TObject>& value, TListNode* node);
  Ref<TListNode> InsertAfter(const Ref<TObject>& value, TListNode* node);
  Ref<TListNode> NodeOf(TObject* value) const;
  Ref<TListNode> NodeOf(const Ref<TObject>& value) const { return NodeOf(value.Get()); }
  /// The index-th non-null item; "List index out of range" past the end.
  Ref<TObject> ItemAt(std::int32_t index) const;
  std::int32_t Length() const;
  int Erase(TObject* value);
  int Erase(const Ref<TObject>& value) { return Erase(value.Get()); }
  void Exchange(TList* other);
  Ref<TList> Duplicate() const;
  void Invert();
  Ref<TList> Inverted() const;
  /// Stable bubble sort on the nodes by the items' Compare.
  void Order(int ascending);
  Ref<TListCursor> Cursor() const;
  ObjectArray ToItems() const;
  static Ref<TList> FromItems(TArray<Ref<TObject>>* items);

  TListNode* Sentinel() const noexcept { return sentinel_.Get(); }

 private:
  Ref<TListNode> sentinel_;
};

Ref<TList> NewList();
void ListRemoveAll(TList* list);
std::int32_t ListLength(TList* list);
int ListEmpty(TList* list);
int ListHolds(TList* list, TObject* value);
inline int ListHolds(TList* list, const Ref<TObject>& value) { return ListHolds(list, value.Get()); }
void ListOrder(TList* list, int ascending);
Ref<TList> ListFromItems(TArray<Ref<TObject>>* items);
ObjectArray ListToItems(TList* list);
void ListExchange(TList* list, TList* other);
void ListInvert(TList* list);
Ref<TListNode> ListNodeOf(TList* list, TObject* value);
inline Ref<TListNode> ListNodeOf(TList* list, const Ref<TObject>& value) { return ListNodeOf(list, value.Get()); }
Ref<TListNode> ListPushBack(TList* list, const Ref<TObject>& value);
Ref<TListNode> ListPushFront(TList* list, const Ref<TObject>& value);
void ListErase(TList* list, TObject* value);
inline void ListErase(TList* list, const Ref<TObject>& value) { ListErase(list, value.Get()); }
void UnlinkNode(TListNode* node);

/// Runs the list module's initialiser (its data type "CVX.LinkedList.TList").
void InitList();

/// The list's stream body is written and read with stream operations, which the
/// runtime cannot use; the data streams install it here when they start
/// (InitDataStreams). Until then the list data type raises a runtime error.
using ListBodyReader = Ref<TObject> (*)(TStreamBase* stream);
using ListBodyWriter = void (*)(TList* list, TStreamBase* stream);
void SetListDataBody(ListBodyReader reader, ListBodyWriter writer);

/// Iterates the items of a list that are of class T, skipping every other item
/// (the null object included):  for (T* e : Each<T>(list)) ...
template <class T>
class Each {
 public:
  explicit Each(TList* list) : list_(list) {}
  class Iterator {
   public:
    explicit Iterator(Ref<TListCursor> cursor) : cursor_(std::move(cursor)) { Advance(); }
    Iterator() = default;
    T* operator*() const noexcept { return current_.Get(); }
    Iterator& operator++() {
      Advance();
      return *this;
    }
    bool operator!=(const Iterator&) const noexcept { return current_.Get() != nullptr; }

   private:
    void Advance() {
      current_ = nullptr;
      while (cursor_ && cursor_->HasMore()) {
        Ref<TObject> item = cursor_->NextItem();
        if (T* typed = dynamic_cast<T*>(item.Get())) {
          current_ = typed;
          return;
        }
      }
    }
    Ref<TListCursor> cursor_;
    Ref<T> current_;
  };
  Iterator begin() const { return Iterator(list_->Cursor()); }
  Iterator end() const { return Iterator(); }

 private:
  TList* list_;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
