// Growable arrays used inside other classes: TSimpleArray of plain values,
// TCleaningSimpleArray of smart pointers it owns, TFrailArray of listeners.
//
//   lumo::TSimpleArray<std::int32_t> sizes(16);            // grows 16 at a time
//   sizes.add(4);
//   lumo::TCleaningSimpleArray<lumo::P<IThing>> things;     // keeps references
//   things.add(lumo::make<CThing>());
//   lumo::TFrailArray<IListener> listeners;                 // keeps none
//   listeners.add(listener);
//
// The untyped parts (the ...TemplateBase classes) do the work on bytes, once
// for every element type; the templates only convert between elements and
// bytes. Elements therefore move as bytes: TSimpleArray takes trivially
// copyable values, and the cleaning arrays keep each smart pointer as its
// object address plus a strength flag.
//
// Indexes are signed and start at 0. Element access (operator[], get, set)
// does no range test; insertions, removals and counts out of range raise
// CInvalidArgError and leave the array as it was. None of these classes
// locks: an array shared between threads is guarded by its owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/Object.h"
#include "foundation/Pointer.h"

namespace lumo {

// Storage, count and growth of an array of same-sized elements, in bytes.
class CSimpleArrayTemplateBase : public CObject {
 public:
  static constexpr std::int32_t kDefaultGrowthStep = 10;

  CSimpleArrayTemplateBase(const CSimpleArrayTemplateBase&) = delete;
  CSimpleArrayTemplateBase& operator=(const CSimpleArrayTemplateBase&) = delete;

  std::int32_t getCount() const noexcept { return count; }
  std::int32_t getCapacity() const noexcept { return capacity; }
  std::int32_t getGrowthStep() const noexcept { return growthStep; }

 protected:
  // A step of 0 or less becomes kDefaultGrowthStep.
  explicit CSimpleArrayTemplateBase(std::int32_t growthStep) noexcept;
  ~CSimpleArrayTemplateBase() override;

  // `size` is the element size in bytes in all of these.
  void* slot(std::int32_t index, std::size_t size) const noexcept {
    return static_cast<char*>(data) + static_cast<std::size_t>(index) * size;
  }
  // Makes room for `needed` elements: the new capacity is the larger of
  // `needed` and capacity + growth step, and the elements move over.
  void reserve(std::int32_t needed, std::size_t size);
  // Moves the elements from `index` on up by one and counts the gap in; the
  // gap's bytes are left for the caller to fill. `method` names the
  // operation in errors.
  void openGap(std::int32_t index, std::size_t size, const char* method);
  // Drops the `n` elements from `start` on; the ones behind move down.
  void closeGap(std::int32_t start, std::int32_t n, std::size_t size, const char* method);
  // Sets the count; new elements' bytes are left for the caller to fill.
  void resize(std::int32_t newCount, std::size_t size);
  // Raises CInvalidArgError unless start..start+n lies within the elements.
  void checkRange(std::int32_t start, std::int32_t n, const char* method) const;
  // Raises CInvalidArgError about argument `what` of `method`.
  [[noreturn]] void refuse(const char* method, const char* what) const;

 private:

  void* data = nullptr;
  std::int32_t capacity = 0;
  std::int32_t count = 0;
  std::int32_t growthStep;
};

// A growable array of trivially copyable values.
template <class T>
class TSimpleArray : public CSimpleArrayTemplateBase {
  static_assert(std::is_trivially_copyable_v<T>,
                "elements move as bytes; smart pointers belong in a TCleaningSimpleArray");
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

 public:
  explicit TSimpleArray(std::int32_t growthStep = kDefaultGrowthStep) noexcept
      : CSimpleArrayTemplateBase(growthStep) {}
  ~TSimpleArray() override = default;

  T& operator[](std::int32_t index) noexcept { return *at(index); }
  const T& operator[](std::int32_t index) const noexcept { return *at(index); }
  T* begin() noexcept { return at(0); }
  T* end() noexcept { return at(getCount()); }
  const T* begin() const noexcept { return at(0); }
  const T* end() const noexcept { return at(getCount()); }

  void add(const T& value) { insert(getCount(), value); }
  void insert(std::int32_t index, const T& value) {
    const T copy = value;  // `value` may live in this array and move with the gap
    openGap(index, sizeof(T), "insert");
    std::construct_at(at(index), copy);
  }
  void remove(std::int32_t index) { closeGap(index, 1, sizeof(T), "remove"); }
  void removeRange(std::int32_t start, std::int32_t n) { closeGap(start, n, sizeof(T), "removeRange"); }
  // Growing adds value-initialised elements.
  void setCount(std::int32_t newCount) {
    const std::int32_t old = getCount();
    resize(newCount, sizeof(T));
    for (std::int32_t i = old; i < newCount; ++i) std::construct_at(at(i));
  }
  void clear() noexcept { resize(0, sizeof(T)); }

 private:
  T* at(std::int32_t index) const noexcept { return static_cast<T*>(slot(index, sizeof(T))); }
};

// One element of a cleaning array: an object address and whether the array
// holds a reference to it.
struct CleaningEntry {
  void* object = nullptr;
  bool strong = true;
};

// The untyped part of the cleaning arrays. An entry's reference is released
// only after the array is consistent again, so that an object destroyed by
// the release may itself use the array.
class CCleaningSimpleArrayTemplateBase : public CSimpleArrayTemplateBase {
 public:
  void setCount(std::int32_t newCount);  // growing adds null entries
  void clear() { setCount(0); }
  void remove(std::int32_t index) { drop(index, 1, "remove"); }
  void removeRange(std::int32_t start, std::int32_t n) { drop(start, n, "removeRange"); }

 protected:
  // Drops one reference to an object of the element type.
  using ReleaseFunction = void (*)(void* object);
  // True when the first object orders before the second.
  using EntryOrder = std::function<bool(void* first, void* second)>;

  CCleaningSimpleArrayTemplateBase(std::int32_t growthStep, ReleaseFunction release) noexcept
      : CSimpleArrayTemplateBase(growthStep), releaseObject(release) {}
  ~CCleaningSimpleArrayTemplateBase() override;

  CleaningEntry& entry(std::int32_t index) const noexcept {
    return *static_cast<CleaningEntry*>(slot(index, sizeof(CleaningEntry)));
  }
  // Opens a null entry at `index` for the caller to fill.
  CleaningEntry& insertNull(std::int32_t index);
  void replace(std::int32_t index, CleaningEntry replacement);
  std::int32_t indexOfObject(std::int32_t start, const void* object) const noexcept;
  std::int32_t lastIndexOfObject(const void* object) const noexcept;
  // A stable sort of a range. When `before` raises, the array is unchanged.
  void sortRange(std::int32_t start, std::int32_t n, const EntryOrder& before);

 private:
  // Takes the entries out, closes the gap, then releases them.
  void drop(std::int32_t start, std::int32_t n, const char* method);
  void releaseEntry(const CleaningEntry& doomed) const {
    if (doomed.strong && doomed.object) releaseObject(doomed.object);
  }

  ReleaseFunction releaseObject;
};

namespace detail {
// How each smart pointer kind becomes a CleaningEntry and back.
template <class Ptr>
struct CleaningTraits;

template <class T>
struct CleaningTraits<P<T>> {
  using Object = T;
  static CleaningEntry Take(P<T>&& pointer) noexcept { return {Address(pointer.detach()), true}; }
  static P<T> Share(const CleaningEntry& entry) noexcept { return P<T>::share(static_cast<T*>(entry.object)); }
  // Entries keep mutable addresses; PC<X> entries are handed out as const again.
  static void* Address(T* object) noexcept { return const_cast<void*>(static_cast<const void*>(object)); }
};

template <class T>
struct CleaningTraits<PFrail<T>> {
  using Object = T;
  static CleaningEntry Take(PFrail<T>&& pointer) noexcept {
    const CleaningEntry entry{Address(pointer.get()), pointer.isStrong()};
    if (entry.strong) detail::AddRef(pointer.get());  // the entry's own; `pointer` drops its one
    return entry;
  }
  static PFrail<T> Share(const CleaningEntry& entry) noexcept {
    T* object = static_cast<T*>(entry.object);
    return entry.strong ? PFrail<T>::share(object) : PFrail<T>::frail(object);
  }
  static void* Address(T* object) noexcept { return const_cast<void*>(static_cast<const void*>(object)); }
};
}  // namespace detail

// A growable array of smart pointers (P, PC or PFrail) that releases the
// references of its elements when they are removed, overwritten or when the
// array is destroyed. Frail PFrail entries are never released.
template <class Ptr, class Base = CCleaningSimpleArrayTemplateBase>
class TCleaningSimpleArray : public Base {
  using Traits = detail::CleaningTraits<Ptr>;

 public:
  using Object = typename Traits::Object;
  // Negative, 0 or positive as `first` orders before, with or after `second`;
  // elements may be null.
  using Order = std::function<std::int32_t(Object* first, Object* second)>;

  explicit TCleaningSimpleArray(std::int32_t growthStep = CSimpleArrayTemplateBase::kDefaultGrowthStep) noexcept
      : Base(growthStep, &Release) {}
  ~TCleaningSimpleArray() override = default;

  // A new reference to the element; getObject borrows it instead.
  Ptr get(std::int32_t index) const noexcept { return Traits::Share(this->entry(index)); }
  Object* getObject(std::int32_t index) const noexcept { return static_cast<Object*>(this->entry(index).object); }
  // Takes the element's reference and releases the one it replaces.
  void set(std::int32_t index, Ptr element) { this->replace(index, Traits::Take(std::move(element))); }
  void add(Ptr element) { insert(this->getCount(), std::move(element)); }
  void insert(std::int32_t index, Ptr element) {
    CleaningEntry& gap = this->insertNull(index);  // if this raises, `element` still owns its reference
    gap = Traits::Take(std::move(element));
  }
  std::int32_t indexOf(const Object* object, std::int32_t start = 0) const noexcept {
    return this->indexOfObject(start, object);
  }
  std::int32_t lastIndexOf(const Object* object) const noexcept { return this->lastIndexOfObject(object); }
  void sort(std::int32_t start, std::int32_t n, const Order& order) {
    this->sortRange(start, n, [&order](void* first, void* second) {
      return order(static_cast<Object*>(first), static_cast<Object*>(second)) < 0;
    });
  }

 private:
  static void Release(void* object) { static_cast<Object*>(object)->release(); }
};

// The untyped part of TFrailArray.
class CFrailArrayTemplateBase : public CCleaningSimpleArrayTemplateBase {
 protected:
  using CCleaningSimpleArrayTemplateBase::CCleaningSimpleArrayTemplateBase;
  ~CFrailArrayTemplateBase() override = default;
  // Removes the first entry for `object`; false when there is none.
  bool removeFirst(const void* object);
};

// A list of objects owned elsewhere (listeners, handlers, workers): entries
// added as raw pointers are frail and never released; they are removed by
// their owners before they die.
template <class I>
class TFrailArray : public TCleaningSimpleArray<PFrail<I>, CFrailArrayTemplateBase> {
  using Array = TCleaningSimpleArray<PFrail<I>, CFrailArrayTemplateBase>;

 public:
  using Array::Array;
  using Array::add;
  void add(I* object) { Array::add(PFrail<I>::frail(object)); }
  // Removes the first entry for `object`; false when there is none.
  bool remove(const I* object) { return this->removeFirst(object); }
  using Array::remove;  // by index
};

extern template class TCleaningSimpleArray<P<IBase>>;
extern template class TCleaningSimpleArray<PC<IBase>>;
extern template class TCleaningSimpleArray<PFrail<IBase>>;

}  // namespace lumo
