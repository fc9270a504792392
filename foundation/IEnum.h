// Enumerators: IConstEnum and IEnum read a sequence one element at a time;
// CEmptyEnum yields nothing; CMultiEnum and CConstMultiEnum read several
// enumerators one after the other.
//
//   lumo::P<lumo::CConstMultiEnum> all = lumo::make<lumo::CConstMultiEnum>();
//   all->add(first->enumerate());
//   all->add(second->enumerate());
//   while (all->hasMore()) use(all->next());
#pragma once

#include <cstdint>

#include "foundation/Object.h"
#include "foundation/Pointer.h"
#include "foundation/SimpleArray.h"

namespace lumo {

class IConstEnum : public virtual IBase {
 public:
  virtual bool hasMore() = 0;
  // How many elements the enumeration yields in all, or -1 when the
  // enumerator cannot tell.
  virtual std::int32_t getCount() = 0;
  // The next element; past the end it raises CEndOfEnumError.
  virtual PC<IBase> next() = 0;
  // Back to the start.
  virtual void reset() = 0;
};

class IEnum : public IConstEnum {
 public:
  // As next, with the element handed out modifiable.
  virtual P<IBase> nextModifiable() = 0;
};

class CEmptyEnum final : public CObject, public IEnum {
 public:
  bool hasMore() override { return false; }
  std::int32_t getCount() override { return 0; }
  PC<IBase> next() override;
  void reset() override {}
  P<IBase> nextModifiable() override;

 protected:
  ~CEmptyEnum() override = default;
};

// Reads its sub-enumerators one after the other. Sub-enumerators may be
// added until the first call of an enumeration operation; from then on the
// list is locked and add raises CInvalidObjectStateError.
template <class Interface>
class TMultiEnum : public CObject, public Interface {
 public:
  // Counts the sub-enumerator's getCount into the total; once one of them
  // cannot tell (-1), the total stays -1.
  void add(P<Interface> sub);

  bool hasMore() override { return source() != nullptr; }
  std::int32_t getCount() override;
  PC<IBase> next() override;
  // Starts again with the first sub-enumerator, resetting each of them.
  void reset() override;

 protected:
  // The locked-add reason under `lockedKey`, with `lockedText` as default.
  TMultiEnum(const char* lockedKey, const char* lockedText) noexcept
      : lockedKey(lockedKey), lockedText(lockedText) {}
  ~TMultiEnum() override = default;

  // Locks the list and moves on to the first sub-enumerator that has more;
  // null when none has.
  Interface* source();
  // The sub-enumerator that has more, or CEndOfEnumError.
  Interface& sourceOrThrow();

 private:
  TCleaningSimpleArray<P<Interface>> subs;
  std::int32_t total = 0;
  std::int32_t current = 0;
  bool locked = false;
  const char* lockedKey;
  const char* lockedText;
};

extern template class TMultiEnum<IEnum>;
extern template class TMultiEnum<IConstEnum>;

class CMultiEnum final : public TMultiEnum<IEnum> {
 public:
  CMultiEnum() noexcept;
  P<IBase> nextModifiable() override { return sourceOrThrow().nextModifiable(); }

 protected:
  ~CMultiEnum() override = default;
};

class CConstMultiEnum final : public TMultiEnum<IConstEnum> {
 public:
  CConstMultiEnum() noexcept;

 protected:
  ~CConstMultiEnum() override = default;
};

}  // namespace lumo
