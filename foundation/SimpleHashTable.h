// TSimpleHashTable: the library's chained hash table from a String key to a
// value, used inside other classes (the value list keeps its entries in one).
//
//   lumo::TSimpleHashTable<lumo::String, int> sizes(0, 0.8, 2.0);
//   sizes.insert(u"cd", 700);
//   if (const int* size = sizes.find(u"cd")) use(*size);
//   for (auto& node : sizes) use(node.key, node.value);
//
// Keys compare by their code points, case-sensitively, whatever their
// encodings: a key stored as UTF-8 is found by the same text in UTF-16.
// Every node keeps its key's hash, so keys of different hashes are never
// compared. Iteration runs over the buckets in ascending order and down each
// chain, newest node first; a growth reverses the order within the chains.
// The table is not locked; its owner serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "foundation/IString.h"
#include "foundation/Object.h"
#include "foundation/String.h"

namespace lumo {

// The part of the table that does not depend on the value type: the bucket
// array, the counts, lookup, growth and linking of nodes.
class CSimpleHashTableTemplateBase : public CObject {
 public:
  // What every node holds besides its value. The key keeps a reference to
  // its string.
  struct NodeBase {
    std::uint32_t hash = 0;
    String key;
    NodeBase* next = nullptr;
  };

  std::int32_t getCount() const { return count; }
  std::int32_t getBucketCount() const { return bucketCount; }
  double getLoadFactor() const { return loadFactor; }
  double getGrowthFactor() const { return growthFactor; }
  // The heads of the chains, getBucketCount() of them (null while the table
  // has no buckets). Valid until the next insertion of a new key.
  NodeBase* const* getBuckets() const { return buckets; }

 protected:
  // An initial bucket count of 0 allocates nothing until the first
  // insertion. CInvalidArgError for a negative count or a load factor that
  // is not above 0.
  CSimpleHashTableTemplateBase(std::int32_t initialBuckets, double loadFactor, double growthFactor);
  // Frees the bucket array; the typed table has freed the nodes already.
  ~CSimpleHashTableTemplateBase() override;
  CSimpleHashTableTemplateBase(const CSimpleHashTableTemplateBase&) = delete;
  CSimpleHashTableTemplateBase& operator=(const CSimpleHashTableTemplateBase&) = delete;

  // The node whose key equals `key`, which hashes to `hash`; null when none.
  NodeBase* findNode(const IString& key, std::uint32_t hash) const;
  // Grows the table when one more entry would reach the load factor. Called
  // before a new node is made, so a failed growth leaves the table as it was.
  void growForOneMore();
  // Links a node whose key is not in the table yet at the head of its
  // chain. growForOneMore must have run since the last insertion.
  void linkNew(NodeBase* node);
  // Unlinks and returns the node of `key`, or null when there is none.
  NodeBase* unlink(const IString& key);
  // Unlinks every node and returns them as one list, joined through `next`.
  NodeBase* unlinkAll();

  // The first node in iteration order at or after bucket `bucket`.
  NodeBase* firstFrom(std::int32_t bucket) const;
  // The node after `node` in iteration order.
  NodeBase* following(const NodeBase* node) const;

 private:
  void grow();
  std::int32_t chainOf(std::uint32_t hash) const {
    return static_cast<std::int32_t>(hash % static_cast<std::uint32_t>(bucketCount));
  }

  double loadFactor;
  double growthFactor;
  NodeBase** buckets = nullptr;
  std::int32_t bucketCount = 0;
  std::int32_t count = 0;
};

// Key is String or another type whose `*key` is the key's IString (such as
// P<IString>) and that converts to String. Value is held by value and
// destroyed when its node is removed.
template <class Key, class Value>
class TSimpleHashTable : public CSimpleHashTableTemplateBase {
 public:
  struct Node : NodeBase {
    Value value;
  };

  explicit TSimpleHashTable(std::int32_t initialBuckets = 0, double loadFactor = 0.8, double growthFactor = 2.0)
      : CSimpleHashTableTemplateBase(initialBuckets, loadFactor, growthFactor) {}
  ~TSimpleHashTable() override { clear(); }

  // The value stored under `key`, or null; valid until its node is removed.
  Value* find(const IString& key) { return typedNode(findNode(key, key.hashCode())); }
  const Value* find(const IString& key) const { return typedNode(findNode(key, key.hashCode())); }
  Value* find(const Key& key) { return find(*key); }
  const Value* find(const Key& key) const { return find(*key); }

  // Sets the value of an existing key (which keeps the spelling it was first
  // stored with), or adds a node at the head of the key's chain.
  Value& insert(const Key& key, Value value) {
    const IString& text = *key;
    const std::uint32_t hash = text.hashCode();
    if (NodeBase* existing = findNode(text, hash)) {
      Value& stored = static_cast<Node*>(existing)->value;
      stored = std::move(value);
      return stored;
    }
    growForOneMore();
    Node* node = new Node{{hash, String(key), nullptr}, std::move(value)};
    linkNew(node);
    return node->value;
  }

  // Whether a node was removed; its key and value are released.
  bool remove(const IString& key) {
    NodeBase* node = unlink(key);
    delete static_cast<Node*>(node);
    return node != nullptr;
  }
  bool remove(const Key& key) { return remove(*key); }

  // Removes every node; the buckets stay.
  void clear() {
    for (NodeBase* node = unlinkAll(); node;) delete static_cast<Node*>(std::exchange(node, node->next));
  }

  // Forward iteration over the nodes. Inserting a new key or removing the
  // current node ends the validity of iterators.
  template <class N>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Node;
    using difference_type = std::ptrdiff_t;
    using pointer = N*;
    using reference = N&;

    Iterator() = default;
    N& operator*() const { return *static_cast<N*>(node); }
    N* operator->() const { return static_cast<N*>(node); }
    Iterator& operator++() {
      node = table->following(node);
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.node == b.node; }

   private:
    friend class TSimpleHashTable;
    Iterator(const TSimpleHashTable* table, NodeBase* node) : table(table), node(node) {}
    const TSimpleHashTable* table = nullptr;
    NodeBase* node = nullptr;
  };

  Iterator<Node> begin() { return {this, firstFrom(0)}; }
  Iterator<Node> end() { return {this, nullptr}; }
  Iterator<const Node> begin() const { return {this, firstFrom(0)}; }
  Iterator<const Node> end() const { return {this, nullptr}; }

 private:
  static Value* typedNode(NodeBase* node) { return node ? &static_cast<Node*>(node)->value : nullptr; }
};

}  // namespace lumo
