#include "corvex/runtime/keyedmap.h"

#include <vector>

namespace cvx {

static_assert(sizeof(void*) != 8 || sizeof(TMapNode) == 64, "a map node fills one 64-byte block");

namespace {

// Every descent compares the argument key with the node's key.
std::intptr_t CompareKeys(const Ref<TObject>& key, TMapNode* node) {
  if (!key) ThrowNullObjectError();
  return key->Compare(node->Key().Get());
}

TMapNode* Leftmost(TMapNode* node) {
  while (node && node->Left()) node = node->Left();
  return node;
}

// The node after node in key order, or null: the leftmost of its right
// subtree, else the parent reached from a left child on the way up.
TMapNode* Successor(TMapNode* node) {
  if (TMapNode* right = node->Right()) return Leftmost(right);
  TMapNode* child = node;
  TMapNode* parent = child->Parent();
  while (parent && parent->Right() == child) {
    child = parent;
    parent = parent->Parent();
  }
  return parent;
}

}  // namespace

// ---- TMapNode ----------------------------------------------------------------
// The walks are loops rather than recursion: keys inserted in sorted order make
// the tree as deep as the map is long.

Ref<TMapNode> TMapNode::FindNode(const Ref<TObject>& key) {
  if (!key) return nullptr;  // never inserted, so never found
  TMapNode* node = this;
  while (node) {
    std::intptr_t c = CompareKeys(key, node);
    if (c == 0) return node;
    node = c < 0 ? node->left_.Get() : node->right_.Get();
  }
  return nullptr;
}

void TMapNode::ClearSubtree() {
  std::vector<TMapNode*> pending{this};
  while (!pending.empty()) {
    TMapNode* node = pending.back();
    pending.pop_back();
    // The children stay held by this node's counted references, so the raw
    // pointers remain valid while the walk goes on.
    node->parent_ = nullptr;
    node->LeaveTree(nullptr);
    if (node->left_) pending.push_back(node->left_.Get());
    if (node->right_) pending.push_back(node->right_.Get());
  }
}

void TMapNode::Unlink() {
  TMapNode* parent = parent_.Get();
  if (!parent) return;  // a root leaves its tree through UnlinkRoot
  if (parent->left_.Get() != this && parent->right_.Get() != this) return;
  Ref<TMapNode> self = this;  // the parent's reference goes away below
  LeaveTree(Successor(this));
  Ref<TMapNode> left = left_, right = right_;
  Ref<TMapNode> replacement;
  if (parent->right_.Get() == this) {
    if (right) {
      if (left) {
        left->parent_ = nullptr;
        left_ = nullptr;
        right->AttachSubtree(left.Get());
      }
      replacement = right;
    } else {
      replacement = left;
    }
    parent->right_ = replacement;
  } else if (parent->left_.Get() == this) {
    if (left) {
      if (right) {
        right->parent_ = nullptr;
        right_ = nullptr;
        left->AttachSubtree(right.Get());
      }
      replacement = left;
    } else {
      replacement = right;
    }
    parent->left_ = replacement;
  } else {
    return;  // not linked below its parent: nothing to take out
  }
  if (replacement) replacement->parent_ = parent;
  parent_ = nullptr;
  left_ = nullptr;
  right_ = nullptr;
}

Ref<TMapNode> TMapNode::UnlinkRoot() {
  // A node below a parent would take its subtrees out of the tree with it.
  if (parent_) throw TRuntimeError("Map node is not a root");
  LeaveTree(Successor(this));
  Ref<TMapNode> left = left_, right = right_;
  Ref<TMapNode> root;
  if (left) {
    if (right) {
      right->parent_ = nullptr;
      right_ = nullptr;
      left->AttachSubtree(right.Get());
    }
    root = left;
  } else {
    root = right;
  }
  if (root) root->parent_ = nullptr;
  parent_ = nullptr;
  left_ = nullptr;
  right_ = nullptr;
  return root;
}

Ref<TMapNode> TMapNode::InsertKey(const Ref<TObject>& key) {
  TMapNode* node = this;
  for (;;) {
    std::intptr_t c = CompareKeys(key, node);
    if (c == 0) {
      node->key_ = key;
      return node;
    }
    Ref<TMapNode>& child = c < 0 ? node->left_ : node->right_;
    if (!child) {
      child = new TMapNode(key, node);
      return child;
    }
    node = child.Get();
  }
}

void TMapNode::AttachSubtree(TMapNode* subtree) {
  if (!subtree) return;
  // A subtree still below a parent would sit in two places; one that holds
  // this node would end up below itself, and every walk would go round it.
  if (subtree->parent_) throw TRuntimeError("Map subtree is not detached");
  for (TMapNode* node = this; node; node = node->Parent()) {
    if (node == subtree) throw TRuntimeError("Map subtree is not detached");
  }
  Ref<TObject> key = subtree->key_;
  TMapNode* node = this;
  for (;;) {
    // Keys of one tree are distinct; should an inconsistent Compare report a
    // match anyway, the subtree goes to the right rather than being lost.
    Ref<TMapNode>& child = CompareKeys(key, node) < 0 ? node->left_ : node->right_;
    if (!child) {
      child = subtree;
      subtree->parent_ = node;
      // A node taken out earlier and hung back in is in the tree again.
      if (subtree->detached_) {
        subtree->detached_ = false;
        subtree->successorWhenLeft_ = nullptr;
      }
      return;
    }
    node = child.Get();
  }
}

// ---- Cursors -------------------------------------------------------------------

const TMapNode* TMapCursor::NextInTree(const TMapNode* node) noexcept {
  while (node && node->detached_) node = node->successorWhenLeft_.Get();
  return node;
}

Ref<TMapNode> TMapCursor::TakeNode() {
  // The node due next may have left the map since the last step: the walk
  // goes on from the node that followed it then (or ends with a cleared map).
  Ref<TMapNode> node = const_cast<TMapNode*>(NextInTree(next_.Get()));
  if (!node) {
    next_ = nullptr;
    return nullptr;
  }
  next_ = Successor(node.Get());
  return node;
}

Ref<TObject> TMapCursor::NextNode() { return TakeNode(); }

Ref<TObject> TMapKeyCursor::NextNode() {
  Ref<TMapNode> node = TakeNode();
  return node ? node->Key() : nullptr;
}

Ref<TObject> TMapValueCursor::NextNode() {
  Ref<TMapNode> node = TakeNode();
  return node ? node->Value() : nullptr;
}

// ---- TKeyedMap -----------------------------------------------------------------

TKeyedMap::~TKeyedMap() { Clear(); }

void TKeyedMap::Clear() {
  if (root_) root_->ClearSubtree();
  root_ = nullptr;
}

Ref<TMapNode> TKeyedMap::FirstNode() const { return Leftmost(root_.Get()); }

Ref<TMapNode> TKeyedMap::FindNode(const Ref<TObject>& key) const {
  if (!root_) return nullptr;
  return root_->FindNode(key);
}

Ref<TObject> TKeyedMap::ValueFor(const Ref<TObject>& key) const {
  Ref<TMapNode> node = FindNode(key);
  return node ? node->Value() : nullptr;
}

void TKeyedMap::Remove(const Ref<TObject>& key) {
  Ref<TMapNode> node = FindNode(key);
  if (!node) return;
  if (node == root_) {
    root_ = node->UnlinkRoot();
  } else {
    node->Unlink();
  }
}

Ref<TMapNode> TKeyedMap::Insert(const Ref<TObject>& key, const Ref<TObject>& value) {
  // A key must be an object: every later descent calls its Compare.
  if (!key) ThrowNullObjectError();
  Ref<TMapNode> node;
  if (!root_) {
    root_ = new TMapNode(key, nullptr);
    node = root_;
  } else {
    node = root_->InsertKey(key);
    // A key's Compare that changed the map (cleared it, or removed a node the
    // descent was passing) leaves the new node in nodes that are no longer in
    // the tree: no lookup would find it, so it is not reported as stored.
    TMapNode* top = node.Get();
    while (top->Parent()) top = top->Parent();
    if (top != root_.Get()) {
      top->ClearSubtree();  // the new node and its parent must not hold each other for good
      throw TRuntimeError("Keyed map changed while a key was compared");
    }
  }
  node->SetValue(value);
  return node;
}

Ref<TMapEnumerable> TKeyedMap::Keys() const { return new TMapEnumerable(new TMapKeyCursor(FirstNode().Get())); }

Ref<TMapEnumerable> TKeyedMap::Values() const { return new TMapEnumerable(new TMapValueCursor(FirstNode().Get())); }

Ref<TMapCursor> TKeyedMap::Nodes() const { return new TMapCursor(FirstNode().Get()); }

}  // namespace cvx
