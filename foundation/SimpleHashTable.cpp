#include "foundation/SimpleHashTable.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"

namespace lumo {

namespace {

// Whether every character of `text` is one code unit of ASCII in UTF-8, of
// Latin-1, or of UTF-16 outside the surrogates (the count of characters
// leaves out malformed units). Such a text has one spelling in bytes.
bool OneUnitEach(const IString& text, std::uint32_t encodingId) {
  const std::int32_t unit = encodingId == kUTF16EncodingId                                     ? 2
                            : encodingId == kUTF8EncodingId || encodingId == kLatin1EncodingId ? 1
                                                                                               : 0;
  return unit != 0 && text.byteLength() == text.length() * unit;
}

// Keys are equal when their code points are. The same bytes in the same
// encoding always are, and a key that is looked up is nearly always stored
// in the encoding it is looked up with, so that case skips decoding; so does
// a pair of other bytes in one encoding that spells each text one way only,
// which is how keys of equal hashes mostly differ. Any other pair is decoded
// and compared by matchesAt.
bool SameKey(const IString& stored, const IString& key) {
  const std::int32_t size = stored.byteLength();
  const P<ICharEncoding> encoding = stored.getEncoding();
  if (encoding.get() == key.getEncoding().get()) {
    if (size == key.byteLength() && std::memcmp(stored.data(), key.data(), static_cast<std::size_t>(size)) == 0) {
      return true;
    }
    const std::uint32_t id = encoding->getId();
    if (OneUnitEach(stored, id) && OneUnitEach(key, id)) return false;
  }
  return stored.matchesAt(key, 0);
}

}  // namespace

CSimpleHashTableTemplateBase::CSimpleHashTableTemplateBase(std::int32_t initialBuckets, double loadFactor,
                                                           double growthFactor)
    : loadFactor(loadFactor), growthFactor(growthFactor) {
  if (initialBuckets < 0) {
    throw CInvalidArgError(nullptr, &typeid(CSimpleHashTableTemplateBase), "construct",
                           "the initial bucket count is negative");
  }
  // A load factor of 0 or below (or NaN) would grow the table on every
  // insertion.
  if (!(loadFactor > 0)) {
    throw CInvalidArgError(nullptr, &typeid(CSimpleHashTableTemplateBase), "construct",
                           "the load factor is not above 0");
  }
  if (initialBuckets > 0) {
    buckets = new NodeBase*[static_cast<std::size_t>(initialBuckets)]();
    bucketCount = initialBuckets;
  }
}

CSimpleHashTableTemplateBase::~CSimpleHashTableTemplateBase() { delete[] buckets; }

CSimpleHashTableTemplateBase::NodeBase* CSimpleHashTableTemplateBase::findNode(const IString& key,
                                                                              std::uint32_t hash) const {
  if (bucketCount == 0) return nullptr;
  for (NodeBase* node = buckets[chainOf(hash)]; node; node = node->next) {
    if (node->hash == hash && SameKey(*node->key, key)) return node;
  }
  return nullptr;
}

void CSimpleHashTableTemplateBase::growForOneMore() {
  if (static_cast<double>(count) + 1.0 >= static_cast<double>(bucketCount) * loadFactor) grow();
}

void CSimpleHashTableTemplateBase::grow() {
  std::int32_t newCount = 10;
  if (bucketCount > 0) {
    // Truncated like an integer conversion, at least one more, and never
    // past what the count can hold.
    constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
    if (bucketCount == kMost) return;
    const double grown = std::trunc(static_cast<double>(bucketCount) * growthFactor);
    newCount = !(grown > bucketCount)           ? bucketCount + 1
               : grown >= static_cast<double>(kMost) ? kMost
                                                     : static_cast<std::int32_t>(grown);
  }
  NodeBase** const old = buckets;
  const std::int32_t oldCount = bucketCount;
  buckets = new NodeBase*[static_cast<std::size_t>(newCount)]();
  bucketCount = newCount;
  // Each node goes to the head of its new chain, so nodes that share a
  // chain come out in the reverse of their old order.
  for (std::int32_t b = 0; b < oldCount; ++b) {
    for (NodeBase* node = old[b]; node;) {
      NodeBase* const next = node->next;
      NodeBase*& head = buckets[chainOf(node->hash)];
      node->next = head;
      head = node;
      node = next;
    }
  }
  delete[] old;
}

void CSimpleHashTableTemplateBase::linkNew(NodeBase* node) {
  NodeBase*& head = buckets[chainOf(node->hash)];
  node->next = head;
  head = node;
  ++count;
}

CSimpleHashTableTemplateBase::NodeBase* CSimpleHashTableTemplateBase::unlink(const IString& key) {
  if (bucketCount == 0) return nullptr;
  const std::uint32_t hash = key.hashCode();
  for (NodeBase** link = &buckets[chainOf(hash)]; *link; link = &(*link)->next) {
    NodeBase* const node = *link;
    if (node->hash == hash && SameKey(*node->key, key)) {
      *link = node->next;
      node->next = nullptr;
      --count;
      return node;
    }
  }
  return nullptr;
}

CSimpleHashTableTemplateBase::NodeBase* CSimpleHashTableTemplateBase::unlinkAll() {
  NodeBase* all = nullptr;
  for (std::int32_t b = 0; b < bucketCount; ++b) {
    while (NodeBase* node = buckets[b]) {
      buckets[b] = node->next;
      node->next = all;
      all = node;
    }
  }
  count = 0;
  return all;
}

CSimpleHashTableTemplateBase::NodeBase* CSimpleHashTableTemplateBase::firstFrom(std::int32_t bucket) const {
  for (; bucket < bucketCount; ++bucket) {
    if (buckets[bucket]) return buckets[bucket];
  }
  return nullptr;
}

CSimpleHashTableTemplateBase::NodeBase* CSimpleHashTableTemplateBase::following(const NodeBase* node) const {
  return node->next ? node->next : firstFrom(chainOf(node->hash) + 1);
}

}  // namespace lumo
