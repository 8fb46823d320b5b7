/// @file
/// TKeyedMap: an ordered map from key objects to value objects, kept in an
/// unbalanced binary search tree ordered by the keys' Compare (text order for
/// strings, address order for other objects). The tree's shape follows the
/// order of insertion; removing a node moves one of its subtrees up into its
/// place and hangs the other subtree below that one by key, so shapes are
/// predictable and no successor is ever moved.
///
///   Ref<TKeyedMap> map = new TKeyedMap;
///   map->Insert(String("b"), value);
///   Ref<TObject> v = map->ValueFor(String("b"));
///   for (auto keys = map->Keys()->Cursor(); keys->HasMore();) Ref<TObject> key = keys->NextNode();
///
/// Lookups and removals of missing keys (the null object included) find
/// nothing and change nothing; inserting the null object as a key raises the
/// null-object error, since every later descent would call its Compare.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

namespace cvx {

class TKeyedMap;

class TMapNode final : public TObject {
 public:
  TMapNode(const Ref<TObject>& key, TMapNode* parent) : key_(key), parent_(parent) {}

  Ref<TObject> Key() const { return key_; }
  Ref<TObject> Value() const { return value_; }
  /// The node of this subtree whose key compares equal to key, or null.
  Ref<TMapNode> FindNode(const Ref<TObject>& key);
  /// Drops the parent references of every node of this subtree, so that the
  /// counted references free the nodes once the subtree's root is let go.
  void ClearSubtree();
  /// Takes this node, which has a parent, out of the tree.
  void Unlink();
  /// Takes this root node out of its tree and gives the node that replaces it
  /// (null when the tree becomes empty).
  Ref<TMapNode> UnlinkRoot();
  /// The node that holds key after the call: an equal key replaces the node's
  /// key, otherwise a new leaf is made below this subtree.
  Ref<TMapNode> InsertKey(const Ref<TObject>& key);
  /// Places a detached subtree below this subtree, by its root key.
  void AttachSubtree(TMapNode* subtree);

  void SetValue(const Ref<TObject>& value) { value_ = value; }
  TMapNode* Parent() const noexcept { return parent_.Get(); }
  TMapNode* Left() const noexcept { return left_.Get(); }
  TMapNode* Right() const noexcept { return right_.Get(); }

 private:
  friend class TKeyedMap;
  friend class TMapCursor;
  Ref<TObject> key_;
  Ref<TObject> value_;
  Ref<TMapNode> parent_;
  Ref<TMapNode> left_;
  Ref<TMapNode> right_;
};

/// Walks nodes in ascending key order.
class TMapCursor : public TObject {
 public:
  explicit TMapCursor(TMapNode* first) : next_(first) {}
  int HasMore() const noexcept { return next_ ? 1 : 0; }
  /// The node taken (the key or the value in the subclasses); null when done.
  virtual Ref<TObject> NextNode();

 protected:
  /// The next node, advancing past it; null when the walk is over.
  Ref<TMapNode> TakeNode();

 private:
  Ref<TMapNode> next_;
};

class TMapKeyCursor final : public TMapCursor {
 public:
  using TMapCursor::TMapCursor;
  Ref<TObject> NextNode() override;
};

class TMapValueCursor final : public TMapCursor {
 public:
  using TMapCursor::TMapCursor;
  Ref<TObject> NextNode() override;
};

/// What Keys and Values return: it holds one cursor and hands it out as its
/// enumerator (so it is walked once).
class TMapEnumerable final : public TObject {
 public:
  explicit TMapEnumerable(TMapCursor* cursor) : cursor_(cursor) {}
  Ref<TMapCursor> Cursor() const { return cursor_; }

 private:
  Ref<TMapCursor> cursor_;
};

class TKeyedMap final : public TObject {
 public:
  ~TKeyedMap() override;

  void Clear();
  Ref<TMapNode> FirstNode() const;
  Ref<TMapNode> FindNode(const Ref<TObject>& key) const;
  Ref<TObject> ValueFor(const Ref<TObject>& key) const;
  void Remove(const Ref<TObject>& key);
  Ref<TMapNode> Insert(const Ref<TObject>& key, const Ref<TObject>& value);
  Ref<TMapEnumerable> Keys() const;
  Ref<TMapEnumerable> Values() const;
  Ref<TMapCursor> Nodes() const;

  TMapNode* Root() const noexcept { return root_.Get(); }

 private:
  Ref<TMapNode> root_;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
