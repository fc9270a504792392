// CPartitionedBucket: for every key, a partition of objects, kept in a value
// list that ignores case (the keys "CD" and "cd" share one partition).
//
//   lumo::P<lumo::IPartitionedBucket> handlers = lumo::make<lumo::CPartitionedBucket>();
//   handlers->add(u"cd", handler);
//   for (auto all = handlers->enumerate(); all->hasMore();) use(all->next());
#pragma once

#include "foundation/IBucket.h"
#include "foundation/Object.h"
#include "settings/ValueList.h"

namespace lumo {

class CArray;

class CPartitionedBucket final : public CObject, public IPartitionedBucket {
 public:
  CPartitionedBucket();

  void add(const String& key, P<IBase> object) override;
  bool remove(const IString& key, const IBase* object) override;
  bool removePartition(const IString& key) override;
  void clear() override { partitions->clear(); }
  P<IArray> getPartition(const IString& key) const override;
  P<IEnum> enumeratePartition(const IString& key) const override;
  // A multi enumerator over the partitions, in the order of the keys.
  P<IEnum> enumerate() const override;
  // The keys as the first add spelled them, in the value list's order.
  P<IConstEnum> enumerateKeys() const override { return partitions->getNames(); }
  std::int32_t getKeyCount() const override;
  bool containsKey(const IString& key) const override { return partitions->contains(Borrow(key)); }
  std::int32_t getCount(const IString& key) const override;
  std::int32_t getTotalCount() const override;

 protected:
  ~CPartitionedBucket() override = default;

 private:
  static String Borrow(const IString& key);
  CArray* partitionOf(const IString& key) const;

  P<CValueList> partitions;
};

}  // namespace lumo
