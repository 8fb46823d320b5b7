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
#include <type_traits>
#include <typeinfo>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"

namespace cvx {

class TList;

/// One node of a TList: an item and its two neighbours.
class TListNode final : public TObject {
 public:
  /// An unlinked node without an item (lists make their nodes themselves).
  TListNode() = default;
  /// The node's item (null for an unlinked node).
  Ref<TObject> Item() const { return item_; }
  /// @{
  /// The next / previous node, or the null object when it is the sentinel.
  Ref<TListNode> NextNode() const;
  Ref<TListNode> PrevNode() const;
  /// @}
  /// Drops the item and takes the node out of its list; the node keeps its
  /// old neighbours, so a cursor standing on it can still move on.
  void Unlink();

  /// True for the list's sentinel node (the one that is its own item).
  bool IsSentinel() const noexcept { return item_.Get() == this; }
  /// True while the node is in a list (a sentinel always is, until its list
  /// goes); false once unlinked, and for a node made on its own.
  bool IsLinked() const noexcept { return home_ != nullptr; }

 private:
  friend class TList;
  friend class TListCursor;
  TListNode(const Ref<TObject>& item, Ref<TListNode>&& next, Ref<TListNode>&& prev)
      : item_(item), nextNode_(std::move(next)), prevNode_(std::move(prev)) {}
  template <class T>
  friend class Each;
  // A sentinel's: the number of nodes in its list. It fills the padding after
  // the object's count of references, so a node stays at 48 bytes.
  std::int32_t nodeCount_ = 0;
  Ref<TObject> item_;
  Ref<TListNode> nextNode_;
  Ref<TListNode> prevNode_;
  // The sentinel of the list the node is in (its own for a sentinel), null in
  // none. Not counted: a list unlinks every node before its sentinel goes.
  // The count lives in the sentinel, not the list, so that exchanging two
  // lists' sentinels takes their counts along.
  TListNode* home_ = nullptr;
};

/// A position in a list for iterating it front to back (TList::Cursor).
class TListCursor final : public TObject {
 public:
  /// A cursor whose next item is node's (node is the sentinel for an empty list).
  explicit TListCursor(TListNode* node) : node_(node) {}
  /// True (1) while an item is left.
  int HasMore() const;
  /// The next item, moving on; at the end the null object.
  Ref<TObject> NextItem();

 private:
  template <class T>
  friend class Each;
  Ref<TListNode> node_;
};

/// An array of object references (what ToItems gives).
using ObjectArray = Array<Ref<TObject>>;

/// The general container (see the file comment). Methods that take a node raise
/// the null object error for a null node; none raises for a null item.
class TList final : public TSerializable {
 public:
  /// @{
  /// An empty list; destroying it unlinks every node, so that nodes held
  /// elsewhere do not keep the others.
  TList();
  ~TList() override;
  /// @}

  Ref<TDataType> DataTypeOf() override;

  /// Unlinks every node.
  void RemoveAll();
  /// True (1) when the list holds no node.
  int IsEmpty() const { return sentinel_.Get()->nextNode_.Get() == sentinel_.Get() ? 1 : 0; }
  /// @{
  /// True (1) when an item is value (the same object).
  int Holds(TObject* value) const;
  int Holds(const Ref<TObject>& value) const { return Holds(value.Get()); }
  /// @}
  /// @{
  /// Adds value at the front / back; returns its new node.
  Ref<TListNode> PushFront(const Ref<TObject>& value);
  Ref<TListNode> PushBack(const Ref<TObject>& value);
  /// @}
  /// @{
  /// The first / last item; the null object for an empty list.
  Ref<TObject> Front() const;
  Ref<TObject> Back() const;
  /// @}
  /// @{
  /// Takes the first / last item out of the list and returns it; empty lists are
  /// left intact and give the null object.
  Ref<TObject> PopFront();
  Ref<TObject> PopBack();
  /// @}
  /// @{
  /// The first / last node; the null object for an empty list.
  Ref<TListNode> FrontNode() const;
  Ref<TListNode> BackNode() const;
  /// @}
  /// @{
  /// Adds value before / after node; returns its new node. A null node raises the
  /// null object error; a node that is in no list (made on its own, or unlinked)
  /// raises TRuntimeError "List node is not in a list" and changes nothing.
  Ref<TListNode> InsertBefore(const Ref<TObject>& value, TListNode* node);
  Ref<TListNode> InsertAfter(const Ref<TObject>& value, TListNode* node);
  /// @}
  /// @{
  /// The first node whose item is value, or the null object.
  Ref<TListNode> NodeOf(TObject* value) const;
  Ref<TListNode> NodeOf(const Ref<TObject>& value) const { return NodeOf(value.Get()); }
  /// @}
  /// The index-th non-null item; raises TRuntimeError "List index out of range"
  /// past the end or for a negative index.
  Ref<TObject> ItemAt(std::int32_t index) const;
  /// The number of nodes (null items included), kept as nodes come and go.
  std::int32_t Length() const noexcept { return sentinel_.Get()->nodeCount_; }
  /// @{
  /// Unlinks the first node whose item is value; 1 when there was one, else 0.
  int Erase(TObject* value);
  int Erase(const Ref<TObject>& value) { return Erase(value.Get()); }
  /// @}
  /// Swaps the contents of the two lists; a null other raises the null object error.
  void Exchange(TList* other);
  /// A new list with the same items in the same order.
  Ref<TList> Duplicate() const;
  /// Reverses the order of the nodes.
  void Invert();
  /// A new list with the items in reverse order.
  Ref<TList> Inverted() const;
  /// Stable bubble sort on the nodes by the items' Compare; ascending == 0 sorts
  /// descending. Raises what Compare raises.
  void Order(int ascending);
  /// A cursor on the first item.
  Ref<TListCursor> Cursor() const;
  /// The items in order as a new array.
  ObjectArray ToItems() const;
  /// A new list of an array's items in order; a null array gives an empty list.
  static Ref<TList> FromItems(TArray<Ref<TObject>>* items);

  /// The sentinel node, which stands before the first and after the last node.
  TListNode* Sentinel() const noexcept { return sentinel_.Get(); }

 private:
  Ref<TListNode> LinkBetween(const Ref<TObject>& value, TListNode* prev, TListNode* next);
  Ref<TListNode> sentinel_;
};

/// @{
/// A new empty list.
///
/// The List functions run the TList method of the same name on list (Holds,
/// Length, Order ...); a null list raises the null object error. UnlinkNode
/// unlinks node (see TListNode::Unlink).
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
/// @}

/// Runs the list module's initialiser (its data type "CVX.LinkedList.TList").
void InitList();

/// The list's stream body is written and read with stream operations, which the
/// runtime cannot use; the data streams install it here when they start
/// (InitDataStreams). Until then the list data type raises a runtime error.
/// @{
/// Function types of the list's stream body (see SetListDataBody).
using ListBodyReader = Ref<TObject> (*)(TStreamBase* stream);
using ListBodyWriter = void (*)(TList* list, TStreamBase* stream);
/// @}
/// Installs the reader and writer of the list's stream body (done by
/// InitDataStreams).
void SetListDataBody(ListBodyReader reader, ListBodyWriter writer);

/// Iterates the items of a list that are of class T, skipping every other item
/// (the null object included):  for (T* e : Each<T>(list)) ...
template <class T>
/// Iterates the items of a list that are of class T, skipping every other item
/// (the null object included): for (T* e : Each<T>(list)) ...
class Each {
 public:
  /// A range over list, which must outlive the range.
  explicit Each(TList* list) : list_(list) {}
  /// The range's iterator. It holds the current item and the node after it,
  /// as a cursor does, so the loop may unlink the item it is on.
  class Iterator {
   public:
    /// Stands on the first item of class T from the cursor on.
    explicit Iterator(Ref<TListCursor> cursor) : node_(cursor ? cursor->node_.Get() : nullptr) { Advance(); }
    /// The end of the range.
    Iterator() = default;
    /// The current item.
    T* operator*() const noexcept { return current_; }
    /// Moves to the next item of class T.
    Iterator& operator++() {
      Advance();
      return *this;
    }
    /// True until the end is reached (only comparisons with end() are meaningful).
    bool operator!=(const Iterator&) const noexcept { return current_ != nullptr; }

   private:
    friend class Each;
    explicit Iterator(TListNode* node) : node_(node) { Advance(); }

    // Items of other classes are passed over through plain pointers: nothing
    // runs between two of them that could unlink or free a node.
    void Advance() {
      TListNode* node = node_;
      while (node && !node->IsSentinel()) {
        TObject* item = node->item_.Get();
        node = node->nextNode_.Get();
        if (T* typed = Typed(item)) {
          node_ = node;
          current_ = typed;
          return;
        }
      }
      node_ = node;
      current_ = nullptr;
    }
    // The item as a T, or nullptr. A final class has no subclasses, so the
    // exact type answers without the class-tree walk of dynamic_cast.
    static T* Typed(TObject* item) {
      if constexpr (std::is_final_v<T> && requires { static_cast<T*>(item); }) {
        return item && typeid(*item) == typeid(T) ? static_cast<T*>(item) : nullptr;
      } else {
        return dynamic_cast<T*>(item);
      }
    }

    // Plain pointers, not references: the loop's body may unlink the node
    // the walk goes to next, or erase the item it stands on, and a collection
    // may then run inside the body; the iterator lies on the stack, whose
    // words every collection counts as references, so neither is freed under
    // it. Counting them here would cost four count changes per item.
    TListNode* node_ = nullptr;
    T* current_ = nullptr;
  };
  /// @{
  /// The first item of class T, and the end.
  Iterator begin() const { return Iterator(list_->Sentinel()->nextNode_.Get()); }
  Iterator end() const { return Iterator(); }
  /// @}

 private:
  TList* list_;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
