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

/// One node of a TKeyedMap's tree: a key, its value and the links.
class TMapNode final : public TObject {
 public:
  /// A leaf holding key below parent (null for a root), with a null value.
  TMapNode(const Ref<TObject>& key, TMapNode* parent) : key_(key), parent_(parent) {}

  /// @{
  /// The node's key and value.
  Ref<TObject> Key() const { return key_; }
  Ref<TObject> Value() const { return value_; }
  /// @}
  /// The node of this subtree whose key compares equal to key, or null.
  Ref<TMapNode> FindNode(const Ref<TObject>& key);
  /// Drops the parent references of every node of this subtree, so that the
  /// counted references free the nodes once the subtree's root is let go.
  void ClearSubtree();
  /// Takes this node, which has a parent, out of the tree.
  void Unlink();
  /// Takes this root node out of its tree and gives the node that replaces it
  /// (null when the tree becomes empty). A node that has a parent raises
  /// TRuntimeError "Map node is not a root" and nothing changes.
  Ref<TMapNode> UnlinkRoot();
  /// The node that holds key after the call: an equal key replaces the node's
  /// key, otherwise a new leaf is made below this subtree.
  Ref<TMapNode> InsertKey(const Ref<TObject>& key);
  /// Places a detached subtree below this subtree, by its root key. A subtree
  /// that still has a parent, or that holds this node, raises TRuntimeError
  /// "Map subtree is not detached" and nothing changes.
  void AttachSubtree(TMapNode* subtree);

  /// Replaces the node's value.
  void SetValue(const Ref<TObject>& value) { value_ = value; }
  /// @{
  /// The node's parent and children, or nullptr.
  TMapNode* Parent() const noexcept { return parent_.Get(); }
  TMapNode* Left() const noexcept { return left_.Get(); }
  TMapNode* Right() const noexcept { return right_.Get(); }
  /// @}

 private:
  friend class TKeyedMap;
  friend class TMapCursor;
  // Marks the node as out of the tree (removed, or its map cleared), keeping
  // the node that followed it for a cursor that was due to hand it out next.
  void LeaveTree(TMapNode* successor) {
    detached_ = true;
    successorWhenLeft_ = successor;
  }
  // Fills the padding after the object's count of references.
  bool detached_ = false;
  Ref<TObject> key_;
  Ref<TObject> value_;
  Ref<TMapNode> parent_;
  Ref<TMapNode> left_;
  Ref<TMapNode> right_;
  Ref<TMapNode> successorWhenLeft_;
};

/// Walks nodes in ascending key order. Entries may be removed during the walk:
/// a node that has left the map is never handed out (the walk goes on with the
/// node that followed it when it left, and ends once the map is cleared).
class TMapCursor : public TObject {
 public:
  /// A walk that starts at first (null for an empty walk).
  explicit TMapCursor(TMapNode* first) : next_(first) {}
  /// 1 while a node is left.
  int HasMore() const noexcept { return NextInTree(next_.Get()) ? 1 : 0; }
  /// The node taken (the key or the value in the subclasses); null when done.
  virtual Ref<TObject> NextNode();

 protected:
  /// The next node, advancing past it; null when the walk is over.
  Ref<TMapNode> TakeNode();

 private:
  // node, or the first node still in its tree from there on.
  static const TMapNode* NextInTree(const TMapNode* node) noexcept;
  Ref<TMapNode> next_;
};

/// A walk that hands out the keys.
class TMapKeyCursor final : public TMapCursor {
 public:
  using TMapCursor::TMapCursor;
  Ref<TObject> NextNode() override;
};

/// A walk that hands out the values.
class TMapValueCursor final : public TMapCursor {
 public:
  using TMapCursor::TMapCursor;
  Ref<TObject> NextNode() override;
};

/// What Keys and Values return: it holds one cursor and hands it out as its
/// enumerator (so it is walked once).
class TMapEnumerable final : public TObject {
 public:
  /// Holds cursor.
  explicit TMapEnumerable(TMapCursor* cursor) : cursor_(cursor) {}
  /// The cursor (the same one every time).
  Ref<TMapCursor> Cursor() const { return cursor_; }

 private:
  Ref<TMapCursor> cursor_;
};

/// An ordered map from keys to values (see the file comment). Keys are ordered by
/// their Compare; what Compare raises, the lookups raise.
class TKeyedMap final : public TObject {
 public:
  /// Lets go of every node.
  ~TKeyedMap() override;

  /// Removes every entry.
  void Clear();
  /// The node with the smallest key, or null for an empty map.
  Ref<TMapNode> FirstNode() const;
  /// The node whose key compares equal to key, or null.
  Ref<TMapNode> FindNode(const Ref<TObject>& key) const;
  /// The value stored under key, or the null object when there is none.
  Ref<TObject> ValueFor(const Ref<TObject>& key) const;
  /// Removes the entry of key; does nothing when there is none.
  void Remove(const Ref<TObject>& key);
  /// Stores value under key (replacing the old value and key of an equal key);
  /// returns the entry's node. Raises TRuntimeError "Keyed map changed while a
  /// key was compared" when the key's Compare took out of the map a node the
  /// insertion was passing (or cleared the map), so that the entry could not be
  /// stored in it.
  Ref<TMapNode> Insert(const Ref<TObject>& key, const Ref<TObject>& value);
  /// @{
  /// The keys / values in ascending key order, for one walk.
  Ref<TMapEnumerable> Keys() const;
  Ref<TMapEnumerable> Values() const;
  /// @}
  /// A walk over the nodes in ascending key order.
  Ref<TMapCursor> Nodes() const;

  /// The root of the tree, or nullptr for an empty map.
  TMapNode* Root() const noexcept { return root_.Get(); }

 private:
  Ref<TMapNode> root_;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
