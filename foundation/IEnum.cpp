#include "foundation/IEnum.h"

#include "foundation/Exception.h"
#include "foundation/IStringLocalizer.h"

namespace lumo {

PC<IBase> CEmptyEnum::next() { throw CEndOfEnumError(this, nullptr); }
P<IBase> CEmptyEnum::nextModifiable() { throw CEndOfEnumError(this, nullptr); }

template <class Interface>
void TMultiEnum<Interface>::add(P<Interface> sub) {
  if (locked) throw CInvalidObjectStateError(this, nullptr, Localize(lockedKey, lockedText));
  if (!sub) throw CInvalidArgError(this, nullptr, "add", "the sub-enumerator is null");
  const std::int32_t count = sub->getCount();
  total = total < 0 || count < 0 ? -1 : total + count;
  subs.add(std::move(sub));
}

template <class Interface>
std::int32_t TMultiEnum<Interface>::getCount() {
  locked = true;
  return total;
}

template <class Interface>
PC<IBase> TMultiEnum<Interface>::next() {
  return sourceOrThrow().next();
}

template <class Interface>
void TMultiEnum<Interface>::reset() {
  locked = true;
  current = 0;
  for (std::int32_t i = 0; i < subs.getCount(); ++i) subs.getObject(i)->reset();
}

template <class Interface>
Interface* TMultiEnum<Interface>::source() {
  locked = true;
  for (; current < subs.getCount(); ++current) {
    if (subs.getObject(current)->hasMore()) return subs.getObject(current);
  }
  return nullptr;
}

template <class Interface>
Interface& TMultiEnum<Interface>::sourceOrThrow() {
  Interface* sub = source();
  if (!sub) throw CEndOfEnumError(this, nullptr);
  return *sub;
}

template class TMultiEnum<IEnum>;
template class TMultiEnum<IConstEnum>;

CMultiEnum::CMultiEnum() noexcept
    : TMultiEnum("lumo.CMultiEnum.addLocked",
                 "No more sub enums can be added to a multi enum after one of its IEnum methods has been called.") {}

CConstMultiEnum::CConstMultiEnum() noexcept
    : TMultiEnum("lumo.CConstMultiEnum.addLocked",
                 "No more sub enums can be added to a multi enum after one of its IConstEnum methods has been "
                 "called.") {}

}  // namespace lumo
