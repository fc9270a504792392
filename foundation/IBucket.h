// Keyed collections of objects: IBucket and IConstBucket (one object per
// key) and IPartitionedBucket (a partition of objects per key).
//
//   lumo::P<lumo::IPartitionedBucket> handlers = ...;
//   handlers->add(u"cd", handler);
//   for (auto all = handlers->enumerate(); all->hasMore();) use(all->next());
//
// Keys are strings compared by code points, whatever their encodings; an
// implementation says whether case counts. Nothing implements IBucket or
// IConstBucket; they are declared so that collections written later share
// one shape. CPartitionedBucket (settings/PartitionedBucket.h), the
// implementation of IPartitionedBucket, keeps its partitions in a value list
// that ignores case.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"
#include "foundation/String.h"

namespace lumo {

// A collection of read-only objects, at most one under each key.
class IConstBucket : public virtual IBase {
 public:
  virtual std::int32_t getCount() const = 0;
  virtual bool containsKey(const IString& key) const = 0;
  // The object under `key`, or null when there is none.
  virtual PC<IBase> get(const IString& key) const = 0;
  // The same, but CNoSuchObjectError when there is none.
  virtual PC<IBase> getOrThrow(const IString& key) const = 0;
  // Stores `object` under `key`, releasing the object it replaces.
  virtual void set(const String& key, PC<IBase> object) = 0;
  // Whether there was an object under `key`; it is released.
  virtual bool remove(const IString& key) = 0;
  virtual void clear() = 0;
  // The key of this very object (pointer identity), or the null string.
  virtual String keyOf(const IBase* object) const = 0;
  // The keys, as IString objects, and the objects, in the same order.
  virtual P<IConstEnum> enumerateKeys() const = 0;
  virtual P<IConstEnum> enumerate() const = 0;
  // Replaces the contents by those of `source`, sharing its objects.
  virtual void assign(const IConstBucket& source) = 0;
};

// The same for modifiable objects, with one more operation that hands an
// object out as modifiable.
class IBucket : public virtual IBase {
 public:
  virtual std::int32_t getCount() const = 0;
  virtual bool containsKey(const IString& key) const = 0;
  virtual PC<IBase> get(const IString& key) const = 0;
  virtual P<IBase> getModifiable(const IString& key) const = 0;
  virtual PC<IBase> getOrThrow(const IString& key) const = 0;
  virtual void set(const String& key, P<IBase> object) = 0;
  virtual bool remove(const IString& key) = 0;
  virtual void clear() = 0;
  virtual String keyOf(const IBase* object) const = 0;
  virtual P<IConstEnum> enumerateKeys() const = 0;
  virtual P<IEnum> enumerate() const = 0;
  virtual void assign(const IBucket& source) = 0;
};

// Keeps, for every key, a partition: an array of objects in the order they
// were added. A key is present while it has a partition, even an empty one.
class IPartitionedBucket : public virtual IBase {
 public:
  // Appends `object` to the partition of `key`, making the partition first
  // when the key has none.
  virtual void add(const String& key, P<IBase> object) = 0;
  // Removes the first occurrence of this very object from the partition of
  // `key`; false when the key or the object is not there.
  virtual bool remove(const IString& key, const IBase* object) = 0;
  // Drops the partition of `key` with its objects; false when there is none.
  virtual bool removePartition(const IString& key) = 0;
  virtual void clear() = 0;
  // The partition of `key` itself (changes to it show in the bucket), or
  // null when the key has none.
  virtual P<IArray> getPartition(const IString& key) const = 0;
  // An enumerator over the partition of `key`; an empty one when it has none.
  virtual P<IEnum> enumeratePartition(const IString& key) const = 0;
  // An enumerator over the objects of all partitions, one after the other.
  virtual P<IEnum> enumerate() const = 0;
  // The keys, as IString objects.
  virtual P<IConstEnum> enumerateKeys() const = 0;
  virtual std::int32_t getKeyCount() const = 0;
  virtual bool containsKey(const IString& key) const = 0;
  // The number of objects in the partition of `key`; 0 when it has none.
  virtual std::int32_t getCount(const IString& key) const = 0;
  // The number of objects in all partitions.
  virtual std::int32_t getTotalCount() const = 0;
};

}  // namespace lumo
