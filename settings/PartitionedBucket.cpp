// Partitions of objects under case-blind keys, over a value list of arrays.
#include "settings/PartitionedBucket.h"

#include "foundation/Cast.h"
#include "foundation/IArray.h"
#include "foundation/IEnum.h"

namespace lumo {

CPartitionedBucket::CPartitionedBucket() : partitions(make<CValueList>(false)) {}

// The lookups take any text; the value list wants a String it may keep.
String CPartitionedBucket::Borrow(const IString& key) { return key.copy(); }

CArray* CPartitionedBucket::partitionOf(const IString& key) const {
  return cast<CArray>(partitions->get(Borrow(key)));
}

void CPartitionedBucket::add(const String& key, P<IBase> object) {
  CArray* partition = partitionOf(*key);
  if (!partition) {
    P<CArray> fresh = make<CArray>();
    partition = fresh.get();
    partitions->set(key, std::move(fresh));
  }
  partition->add(std::move(object));
}

bool CPartitionedBucket::remove(const IString& key, const IBase* object) {
  CArray* partition = partitionOf(key);
  return partition && partition->removeElement(object);
}

bool CPartitionedBucket::removePartition(const IString& key) { return partitions->remove(Borrow(key)); }

P<IArray> CPartitionedBucket::getPartition(const IString& key) const {
  return P<IArray>::share(partitionOf(key));
}

P<IEnum> CPartitionedBucket::enumeratePartition(const IString& key) const {
  if (CArray* partition = partitionOf(key)) return partition->enumerateModifiable();
  return make<CEmptyEnum>();
}

P<IEnum> CPartitionedBucket::enumerate() const {
  P<CMultiEnum> all = make<CMultiEnum>();
  for (P<IConstEnum> keys = partitions->getNames(); keys->hasMore();) {
    all->add(enumeratePartition(*castOrThrow<IString>(const_cast<IBase*>(keys->next().get()))));
  }
  return all;
}

std::int32_t CPartitionedBucket::getKeyCount() const {
  std::int32_t keys = 0;
  for (P<IConstEnum> names = partitions->getNames(); names->hasMore(); names->next()) ++keys;
  return keys;
}

std::int32_t CPartitionedBucket::getCount(const IString& key) const {
  CArray* partition = partitionOf(key);
  return partition ? partition->getCount() : 0;
}

std::int32_t CPartitionedBucket::getTotalCount() const {
  std::int32_t total = 0;
  for (P<IConstEnum> keys = partitions->getNames(); keys->hasMore();) {
    total += getCount(*castOrThrow<IString>(const_cast<IBase*>(keys->next().get())));
  }
  return total;
}

}  // namespace lumo
