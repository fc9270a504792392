// Arrays of shared objects handed between objects: IArray with CArray
// (modifiable elements, P<IBase>) and IConstArray with CConstArray
// (read-only elements, PC<IBase>).
//
//   lumo::P<lumo::CConstArray> names = lumo::make<lumo::CConstArray>();
//   names->add(lumo::String("lang").get());
//   line->findAny(*names);
//   for (auto each = names->enumerate(); each->hasMore();) use(each->next());
//
// Indexes are signed and start at 0. get and set take indexes below getCount
// and do no range test; the other operations raise CInvalidArgError for an
// index or range outside the array and leave it as it was. Elements are
// found by identity (the same object), never by equality. None of these
// classes locks.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/IBase.h"
#include "foundation/IEnum.h"
#include "foundation/Object.h"
#include "foundation/Pointer.h"
#include "foundation/SimpleArray.h"

namespace lumo {

// Negative, 0 or positive as `first` orders before, with or after `second`.
// Either may be null.
using ElementOrder = std::function<std::int32_t(const IBase* first, const IBase* second)>;

// The operations of both array interfaces are declared in this order; IArray
// adds getModifiable after get and enumerateModifiable after enumerate.
class IConstArray : public virtual IBase {
 public:
  virtual std::int32_t getCount() const = 0;
  virtual PC<IBase> get(std::int32_t index) const = 0;
  // Takes a reference to `element` and releases the element it replaces.
  virtual void set(std::int32_t index, PC<IBase> element) = 0;
  virtual void add(PC<IBase> element) = 0;
  // Appends the elements `other` has when the call begins (it may be this).
  virtual void addAll(const IConstArray& other) = 0;
  virtual void insert(std::int32_t index, PC<IBase> element) = 0;
  // Insert at the first occurrence of `existing`, or just behind it. An
  // absent `existing` counts as index -1: insertBefore then raises, and
  // insertAfter inserts at the front.
  virtual void insertBefore(const IBase* existing, PC<IBase> element) = 0;
  virtual void insertAfter(const IBase* existing, PC<IBase> element) = 0;
  // The elements behind the removed ones move down.
  virtual void remove(std::int32_t index) = 0;
  virtual void removeRange(std::int32_t start, std::int32_t count) = 0;
  // Removes the first occurrence of `element`; false when there is none.
  virtual bool removeElement(const IBase* element) = 0;
  // Shrinking releases the elements cut off; growing adds null elements.
  virtual void setCount(std::int32_t count) = 0;
  virtual void clear() = 0;
  // The first index from `start` on that holds this very object, or -1.
  virtual std::int32_t indexOf(const IBase* element) const = 0;
  virtual std::int32_t indexOf(std::int32_t start, const IBase* element) const = 0;
  virtual std::int32_t lastIndexOf(const IBase* element) const = 0;
  virtual bool contains(const IBase* element) const = 0;
  // Stable sorts of a range: by `order`, or by the elements' IComparable
  // order with null elements first. An element that is no IComparable
  // raises CCastError; an order that raises leaves the array unchanged.
  virtual void sort(const ElementOrder& order, std::int32_t start, std::int32_t count) = 0;
  virtual void sort(std::int32_t start, std::int32_t count) = 0;
  // A new enumerator over the elements, from the first or from the last.
  // It reads the count live, so elements added meanwhile are seen.
  virtual P<IConstEnum> enumerate(bool backward = false) const = 0;
};

class IArray : public virtual IBase {
 public:
  virtual std::int32_t getCount() const = 0;
  virtual PC<IBase> get(std::int32_t index) const = 0;
  virtual P<IBase> getModifiable(std::int32_t index) const = 0;
  virtual void set(std::int32_t index, P<IBase> element) = 0;
  virtual void add(P<IBase> element) = 0;
  virtual void addAll(const IArray& other) = 0;
  virtual void insert(std::int32_t index, P<IBase> element) = 0;
  virtual void insertBefore(const IBase* existing, P<IBase> element) = 0;
  virtual void insertAfter(const IBase* existing, P<IBase> element) = 0;
  virtual void remove(std::int32_t index) = 0;
  virtual void removeRange(std::int32_t start, std::int32_t count) = 0;
  virtual bool removeElement(const IBase* element) = 0;
  virtual void setCount(std::int32_t count) = 0;
  virtual void clear() = 0;
  virtual std::int32_t indexOf(const IBase* element) const = 0;
  virtual std::int32_t indexOf(std::int32_t start, const IBase* element) const = 0;
  virtual std::int32_t lastIndexOf(const IBase* element) const = 0;
  virtual bool contains(const IBase* element) const = 0;
  virtual void sort(const ElementOrder& order, std::int32_t start, std::int32_t count) = 0;
  virtual void sort(std::int32_t start, std::int32_t count) = 0;
  virtual P<IConstEnum> enumerate(bool backward = false) const = 0;
  virtual P<IEnum> enumerateModifiable(bool backward = false) const = 0;
};

// What CArray and CConstArray share: the operations over one cleaning array
// of `Element` (P<IBase> or PC<IBase>).
template <class Interface, class Element>
class TObjectArray : public CObject, public Interface {
 public:
  std::int32_t getCount() const override { return elements.getCount(); }
  PC<IBase> get(std::int32_t index) const override { return elements.get(index); }
  void set(std::int32_t index, Element element) override { elements.set(index, std::move(element)); }
  void add(Element element) override { elements.add(std::move(element)); }
  void addAll(const Interface& other) override;
  void insert(std::int32_t index, Element element) override { elements.insert(index, std::move(element)); }
  void insertBefore(const IBase* existing, Element element) override {
    elements.insert(elements.indexOf(existing), std::move(element));
  }
  void insertAfter(const IBase* existing, Element element) override {
    elements.insert(elements.indexOf(existing) + 1, std::move(element));
  }
  void remove(std::int32_t index) override { elements.remove(index); }
  void removeRange(std::int32_t start, std::int32_t count) override { elements.removeRange(start, count); }
  bool removeElement(const IBase* element) override;
  void setCount(std::int32_t count) override { elements.setCount(count); }
  void clear() override { elements.clear(); }
  std::int32_t indexOf(const IBase* element) const override { return elements.indexOf(element); }
  std::int32_t indexOf(std::int32_t start, const IBase* element) const override {
    return elements.indexOf(element, start);
  }
  std::int32_t lastIndexOf(const IBase* element) const override { return elements.lastIndexOf(element); }
  bool contains(const IBase* element) const override { return elements.indexOf(element) >= 0; }
  void sort(const ElementOrder& order, std::int32_t start, std::int32_t count) override;
  void sort(std::int32_t start, std::int32_t count) override;

 protected:
  TObjectArray() = default;
  ~TObjectArray() override = default;

  TCleaningSimpleArray<Element> elements;
};

extern template class TObjectArray<IArray, P<IBase>>;
extern template class TObjectArray<IConstArray, PC<IBase>>;

class CArray : public TObjectArray<IArray, P<IBase>> {
 public:
  class CEnum;       // IEnum over a CArray
  class CConstEnum;  // IConstEnum over a CArray

  CArray() = default;
  P<IBase> getModifiable(std::int32_t index) const override { return elements.get(index); }
  P<IConstEnum> enumerate(bool backward = false) const override;
  P<IEnum> enumerateModifiable(bool backward = false) const override;

 protected:
  ~CArray() override = default;
};

class CConstArray : public TObjectArray<IConstArray, PC<IBase>> {
 public:
  class CConstEnum;  // IConstEnum over a CConstArray

  CConstArray() = default;
  P<IConstEnum> enumerate(bool backward = false) const override;

 protected:
  ~CConstArray() override = default;
};

}  // namespace lumo
