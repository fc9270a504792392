// Arrays of shared read-only objects handed between objects: IConstArray and
// its implementation CConstArray.
//
//   lumo::P<lumo::CConstArray> names = lumo::make<lumo::CConstArray>();
//   names->add(lumo::String("lang").get());
//   line->findAny(*names);
//
// For now this holds what the string operations that take a list need. Not
// here yet: the array of modifiable elements (IArray), the two insertions
// relative to an existing element, sort, enumerate and the enumerators; they
// come with the rest of the array family.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/IBase.h"
#include "foundation/Object.h"
#include "foundation/Pointer.h"

namespace lumo {

// An array of PC<IBase>; indexes are signed and start at 0. get and set take
// indexes below getCount and do no range test.
class IConstArray : public virtual IBase {
 public:
  virtual std::int32_t getCount() const = 0;
  virtual PC<IBase> get(std::int32_t index) const = 0;
  // Releases the element it replaces.
  virtual void set(std::int32_t index, PC<IBase> element) = 0;
  virtual void add(PC<IBase> element) = 0;
  virtual void insert(std::int32_t index, PC<IBase> element) = 0;
  // The elements behind `index` move down by one.
  virtual void remove(std::int32_t index) = 0;
  // Shrinking releases the elements cut off; growing adds null elements.
  virtual void setCount(std::int32_t count) = 0;
  // The first index from `start` on that holds this very object, or -1.
  virtual std::int32_t indexOf(const IBase* element) const = 0;
  virtual std::int32_t indexOf(std::int32_t start, const IBase* element) const = 0;
  virtual void clear() = 0;
};

class CConstArray : public CObject, public IConstArray {
 public:
  CConstArray() = default;

  std::int32_t getCount() const override { return static_cast<std::int32_t>(elements.size()); }
  PC<IBase> get(std::int32_t index) const override { return elements[static_cast<std::size_t>(index)]; }
  void set(std::int32_t index, PC<IBase> element) override;
  void add(PC<IBase> element) override { elements.push_back(std::move(element)); }
  void insert(std::int32_t index, PC<IBase> element) override;
  void remove(std::int32_t index) override;
  void setCount(std::int32_t count) override;
  std::int32_t indexOf(const IBase* element) const override { return indexOf(0, element); }
  std::int32_t indexOf(std::int32_t start, const IBase* element) const override;
  void clear() override { elements.clear(); }

 protected:
  ~CConstArray() override = default;

 private:
  std::vector<PC<IBase>> elements;
};

}  // namespace lumo
