#include "foundation/IArray.h"

#include <type_traits>

#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IComparable.h"

namespace lumo {

template <class Interface, class Element>
void TObjectArray<Interface, Element>::addAll(const Interface& other) {
  const std::int32_t count = other.getCount();
  for (std::int32_t i = 0; i < count; ++i) {
    if constexpr (std::is_same_v<Interface, IArray>) {
      elements.add(other.getModifiable(i));
    } else {
      elements.add(other.get(i));
    }
  }
}

template <class Interface, class Element>
bool TObjectArray<Interface, Element>::removeElement(const IBase* element) {
  const std::int32_t index = elements.indexOf(element);
  if (index < 0) return false;
  elements.remove(index);
  return true;
}

template <class Interface, class Element>
void TObjectArray<Interface, Element>::sort(const ElementOrder& order, std::int32_t start, std::int32_t count) {
  elements.sort(start, count, order);
}

template <class Interface, class Element>
void TObjectArray<Interface, Element>::sort(std::int32_t start, std::int32_t count) {
  elements.sort(start, count, [](const IBase* first, const IBase* second) -> std::int32_t {
    if (!first || !second) return (first ? 1 : 0) - (second ? 1 : 0);
    // A cast may ask the object to steer it, which is no change to the
    // element, so the read-only elements are cast as well.
    const IComparable* left = castOrThrow<IComparable>(const_cast<IBase*>(first));
    return left->compareTo(*castOrThrow<IComparable>(const_cast<IBase*>(second)));
  });
}

template class TObjectArray<IArray, P<IBase>>;
template class TObjectArray<IConstArray, PC<IBase>>;

namespace {

// The enumerator over one array: a reference to the array, a current index
// and a direction. The array's count is read at every step.
template <class Array, class Interface>
class TArrayEnum : public CObject, public Interface {
 public:
  TArrayEnum(P<const Array> array, bool backward) : array(std::move(array)), backward(backward) { restart(); }

  bool hasMore() override { return index >= 0 && index < array->getCount(); }
  std::int32_t getCount() override { return array->getCount(); }
  PC<IBase> next() override { return array->get(step()); }
  void reset() override { restart(); }

 protected:
  ~TArrayEnum() override = default;

  // The current index, before moving on; CEndOfEnumError past the end.
  std::int32_t step() {
    if (!hasMore()) throw CEndOfEnumError(this, nullptr);
    const std::int32_t at = index;
    index += backward ? -1 : 1;
    return at;
  }

  const P<const Array> array;

 private:
  void restart() { index = backward ? array->getCount() - 1 : 0; }

  std::int32_t index = 0;
  const bool backward;
};

}  // namespace

class CArray::CEnum final : public TArrayEnum<CArray, IEnum> {
 public:
  using TArrayEnum::TArrayEnum;
  P<IBase> nextModifiable() override { return array->getModifiable(step()); }

 protected:
  ~CEnum() override = default;
};

class CArray::CConstEnum final : public TArrayEnum<CArray, IConstEnum> {
 public:
  using TArrayEnum::TArrayEnum;

 protected:
  ~CConstEnum() override = default;
};

class CConstArray::CConstEnum final : public TArrayEnum<CConstArray, IConstEnum> {
 public:
  using TArrayEnum::TArrayEnum;

 protected:
  ~CConstEnum() override = default;
};

P<IConstEnum> CArray::enumerate(bool backward) const {
  return make<CConstEnum>(P<const CArray>::share(this), backward);
}

P<IEnum> CArray::enumerateModifiable(bool backward) const {
  return make<CEnum>(P<const CArray>::share(this), backward);
}

P<IConstEnum> CConstArray::enumerate(bool backward) const {
  return make<CConstEnum>(P<const CConstArray>::share(this), backward);
}

}  // namespace lumo
