#include "corvex/runtime/list.h"

namespace cvx {

static_assert(sizeof(void*) != 8 || sizeof(TListNode) == 48, "a list node fills one 48-byte block");

namespace {

// Compare of an item against a value; a null item has no operations.
std::intptr_t CompareItem(const Ref<TObject>& item, TObject* value) {
  if (!item) ThrowNullObjectError();
  return item->Compare(value);
}

Ref<TDataType> listDataType;

// An unlinked node still holds its old neighbours: linking next to it would
// put it back into the forward walk only, and the list could no longer be
// emptied. A node made on its own has no neighbours at all.
void ThrowUnlessLinked(const TListNode* node) {
  if (!node) ThrowNullObjectError();
  if (!node->IsLinked()) throw TRuntimeError("List node is not in a list");
}

}  // namespace

// ---- TListNode -------------------------------------------------------------------

Ref<TListNode> TListNode::NextNode() const {
  TListNode* next = nextNode_.Get();
  return (next && next->IsSentinel()) ? Ref<TListNode>() : nextNode_;
}

Ref<TListNode> TListNode::PrevNode() const {
  TListNode* prev = prevNode_.Get();
  return (prev && prev->IsSentinel()) ? Ref<TListNode>() : prevNode_;
}

void TListNode::Unlink() {
  // The sentinel stays: unlinking it would lose the whole list.
  if (IsSentinel()) return;
  // Plain pointers suffice for the neighbours: a count that falls to 0 while
  // they are relinked only queues the node, and nothing is freed outside a
  // collection pass.
  TListNode* next = nextNode_.Get();
  TListNode* prev = prevNode_.Get();
  item_ = nullptr;
  // A node that was unlinked before keeps its old neighbours, which may have
  // been relinked since; relinking them again would cut nodes out of the list.
  if (!home_) return;
  --home_->nodeCount_;
  home_ = nullptr;
  next->prevNode_ = prev;
  prev->nextNode_ = next;
}

// ---- TListCursor -----------------------------------------------------------------

int TListCursor::HasMore() const { return node_ && !node_->IsSentinel() ? 1 : 0; }

Ref<TObject> TListCursor::NextItem() {
  // At the end the cursor stands on the sentinel, whose item is itself: it
  // stays there rather than hand out the sentinel and go round again.
  if (!HasMore()) return nullptr;
  Ref<TObject> item = node_->item_;
  node_ = node_->nextNode_;
  return item;
}

// ---- TList -----------------------------------------------------------------------

TList::TList() : sentinel_(new TListNode) {
  TListNode* s = sentinel_.Get();
  s->item_ = s;
  s->nextNode_ = s;
  s->prevNode_ = s;
  s->home_ = s;
}

TList::~TList() {
  RemoveAll();
  TListNode* s = sentinel_.Get();
  s->item_ = nullptr;
  s->nextNode_ = nullptr;
  s->prevNode_ = nullptr;
  s->home_ = nullptr;
}

Ref<TDataType> TList::DataTypeOf() {
  InitList();
  return listDataType;
}

void TList::RemoveAll() {
  while (!IsEmpty()) sentinel_->nextNode_->Unlink();
}

int TList::Holds(TObject* value) const { return NodeOf(value) ? 1 : 0; }

Ref<TListNode> TList::PushFront(const Ref<TObject>& value) {
  TListNode* s = sentinel_.Get();
  return LinkBetween(value, s, s->nextNode_.Get());
}
Ref<TListNode> TList::PushBack(const Ref<TObject>& value) {
  TListNode* s = sentinel_.Get();
  return LinkBetween(value, s->prevNode_.Get(), s);
}

Ref<TObject> TList::Front() const { return sentinel_->nextNode_->item_; }
Ref<TObject> TList::Back() const { return sentinel_->prevNode_->item_; }

// The node's reference to its item passes to the caller, and the node (which
// Unlink would have emptied) is unlinked.
Ref<TObject> TList::PopFront() {
  if (IsEmpty()) return nullptr;
  TListNode* node = sentinel_->nextNode_.Get();
  Ref<TObject> item = std::move(node->item_);
  node->Unlink();
  return item;
}

Ref<TObject> TList::PopBack() {
  if (IsEmpty()) return nullptr;
  TListNode* node = sentinel_->prevNode_.Get();
  Ref<TObject> item = std::move(node->item_);
  node->Unlink();
  return item;
}

Ref<TListNode> TList::FrontNode() const { return IsEmpty() ? Ref<TListNode>() : sentinel_->nextNode_; }
Ref<TListNode> TList::BackNode() const { return IsEmpty() ? Ref<TListNode>() : sentinel_->prevNode_; }

Ref<TListNode> TList::InsertBefore(const Ref<TObject>& value, TListNode* node) {
  ThrowUnlessLinked(node);
  return LinkBetween(value, node->prevNode_.Get(), node);
}

Ref<TListNode> TList::InsertAfter(const Ref<TObject>& value, TListNode* node) {
  ThrowUnlessLinked(node);
  return LinkBetween(value, node, node->nextNode_.Get());
}

// Both neighbours are linked and next to each other, so the list holds them
// while the node is made, and the references they held of each other become
// the new node's.
Ref<TListNode> TList::LinkBetween(const Ref<TObject>& value, TListNode* prev, TListNode* next) {
  Ref<TListNode> created = new TListNode(value, std::move(prev->nextNode_), std::move(next->prevNode_));
  TListNode* c = created.Get();
  c->home_ = next->home_;
  ++c->home_->nodeCount_;
  prev->nextNode_ = c;
  next->prevNode_ = c;
  return created;
}

Ref<TListNode> TList::NodeOf(TObject* value) const {
  TListNode* s = sentinel_.Get();
  for (TListNode* node = s->nextNode_.Get(); node != s; node = node->nextNode_.Get()) {
    if (CompareItem(node->item_, value) == 0) return node;
  }
  return nullptr;
}

Ref<TObject> TList::ItemAt(std::int32_t index) const {
  TListNode* s = sentinel_.Get();
  if (index >= 0) {
    for (TListNode* node = s->nextNode_.Get(); node != s; node = node->nextNode_.Get()) {
      if (!node->item_) continue;
      if (index == 0) return node->item_;
      --index;
    }
  }
  throw TRuntimeError("List index out of range");
}

int TList::Erase(TObject* value) {
  Ref<TListNode> node = NodeOf(value);
  if (!node) return 0;
  node->Unlink();
  return 1;
}

void TList::Exchange(TList* other) {
  if (!other) ThrowNullObjectError();
  std::swap(sentinel_, other->sentinel_);
}

Ref<TList> TList::Duplicate() const {
  Ref<TList> copy = new TList;
  TListNode* s = sentinel_.Get();
  for (TListNode* node = s->nextNode_.Get(); node != s; node = node->nextNode_.Get()) {
    if (node->item_) copy->PushBack(node->item_);
  }
  return copy;
}

void TList::Invert() {
  Ref<TList> inverted = Inverted();
  Exchange(inverted.Get());
}

Ref<TList> TList::Inverted() const {
  Ref<TList> copy = new TList;
  TListNode* s = sentinel_.Get();
  for (TListNode* node = s->nextNode_.Get(); node != s; node = node->nextNode_.Get()) {
    if (node->item_) copy->PushFront(node->item_);
  }
  return copy;
}

void TList::Order(int ascending) {
  TListNode* s = sentinel_.Get();
  Ref<TListNode> end = s;
  for (;;) {
    bool swapped = false;
    bool changed = false;
    Ref<TListNode> node = s->nextNode_;
    if (node.Get() == end.Get()) return;
    // A pass also ends at the sentinel: an item's Compare may have unlinked
    // the node the last pass ended on, and the walk would go round for ever.
    while (node->nextNode_.Get() != end.Get() && node->nextNode_.Get() != s) {
      Ref<TListNode> next = node->nextNode_;
      std::intptr_t c = CompareItem(node->item_, next->item_.Get());
      // Compare may have unlinked either node of the pair, or put a node
      // between them: swapping them then would link an unlinked node back in.
      // The sort starts again from the front of what the list holds now.
      if (!node->IsLinked() || node->nextNode_.Get() != next.Get()) {
        changed = true;
        break;
      }
      if ((ascending && c > 0) || (!ascending && c < 0)) {
        // prev, node, next, after  ->  prev, next, node, after
        Ref<TListNode> prev = node->prevNode_, after = next->nextNode_;
        prev->nextNode_ = next;
        next->prevNode_ = prev;
        next->nextNode_ = node;
        node->prevNode_ = next;
        node->nextNode_ = after;
        after->prevNode_ = node;
        swapped = true;
      } else {
        node = next;
      }
    }
    if (changed) {
      end = s;
      continue;
    }
    if (!swapped) return;
    end = node;
  }
}

Ref<TListCursor> TList::Cursor() const { return new TListCursor(sentinel_->nextNode_.Get()); }

ObjectArray TList::ToItems() const {
  ObjectArray items = NewArray<Ref<TObject>>(Length());
  std::int32_t i = 0;
  TListNode* s = sentinel_.Get();
  for (TListNode* node = s->nextNode_.Get(); node != s; node = node->nextNode_.Get()) {
    if (node->item_) (*items)[i++] = node->item_;
  }
  return items;
}

Ref<TList> TList::FromItems(TArray<Ref<TObject>>* items) {
  Ref<TList> list = new TList;
  if (items) {
    for (std::int32_t i = 0; i < items->Length(); ++i) {
      if ((*items)[i]) list->PushBack((*items)[i]);
    }
  }
  return list;
}

// ---- Module functions ------------------------------------------------------------

Ref<TList> NewList() { return new TList; }
void ListRemoveAll(TList* list) { Ref<TList>(list)->RemoveAll(); }
std::int32_t ListLength(TList* list) { return Ref<TList>(list)->Length(); }
int ListEmpty(TList* list) { return Ref<TList>(list)->IsEmpty(); }
int ListHolds(TList* list, TObject* value) { return Ref<TList>(list)->Holds(value); }
void ListOrder(TList* list, int ascending) { Ref<TList>(list)->Order(ascending); }
Ref<TList> ListFromItems(TArray<Ref<TObject>>* items) { return TList::FromItems(items); }
ObjectArray ListToItems(TList* list) { return Ref<TList>(list)->ToItems(); }
void ListExchange(TList* list, TList* other) { Ref<TList>(list)->Exchange(other); }
void ListInvert(TList* list) { Ref<TList>(list)->Invert(); }
Ref<TListNode> ListNodeOf(TList* list, TObject* value) { return Ref<TList>(list)->NodeOf(value); }
Ref<TListNode> ListPushBack(TList* list, const Ref<TObject>& value) { return Ref<TList>(list)->PushBack(value); }
Ref<TListNode> ListPushFront(TList* list, const Ref<TObject>& value) { return Ref<TList>(list)->PushFront(value); }
void ListErase(TList* list, TObject* value) { Ref<TList>(list)->Erase(value); }
void UnlinkNode(TListNode* node) { Ref<TListNode>(node)->Unlink(); }

// The list's data type. Its body comes from the data streams (SetListDataBody);
// without them it only names the type so that lists can be recognised.
namespace {
ListBodyReader listBodyReader = nullptr;
ListBodyWriter listBodyWriter = nullptr;
}  // namespace

void SetListDataBody(ListBodyReader reader, ListBodyWriter writer) {
  listBodyReader = reader;
  listBodyWriter = writer;
}

class TListDataType final : public TDataType {
 public:
  String TypeName() override { return "CVX.LinkedList.TList"_s; }
  Ref<TObject> ReadData(TStreamBase* stream) override {
    if (!listBodyReader) throw TRuntimeError("List data streams are not available");
    return listBodyReader(stream);
  }
  void WriteData(TObject* object, TStreamBase* stream) override {
    if (!listBodyWriter) throw TRuntimeError("List data streams are not available");
    auto* list = As<TList>(object);
    if (!list) ThrowNullObjectError();
    listBodyWriter(list, stream);
  }
};

void InitList() {
  static bool done = false;
  if (done) return;
  done = true;
  listDataType = new TListDataType;
}

}  // namespace cvx
