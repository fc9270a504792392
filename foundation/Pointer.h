// The smart pointers of the library: P (owning), PC (owning, read-only) and
// PFrail (owning or not, by a flag).
//
// Handing a raw pointer to a P always says whether the P takes over the
// reference that came with a new object or adds one of its own:
//
//   lumo::P<IThing> a = lumo::make<CThing>(1, 2);       // adopts
//   lumo::P<IThing> b = lumo::P<IThing>::adopt(new CThing(1, 2));
//   lumo::P<IThing> c = lumo::P<IThing>::share(borrowed);  // adds a reference
#pragma once

#include <cassert>
#include <concepts>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "foundation/Forward.h"

namespace lumo {

namespace detail {
template <class T>
inline void AddRef(T* object) noexcept {
  if (object) object->addRef();
}
template <class T>
inline void Release(T* object) {
  if (object) object->release();
}
}  // namespace detail

// An owning pointer to a T, possibly null. P<const T> (spelled PC<T>) is the
// read-only form; a P<T> converts to a PC<T> but not back.
template <class T>
class P {
 public:
  constexpr P() noexcept = default;
  constexpr P(std::nullptr_t) noexcept {}

  // Takes over the reference that a freshly created object comes with.
  [[nodiscard]] static P adopt(T* fresh) noexcept {
    P result;
    result.object = fresh;
    return result;
  }
  // Adds a reference to an object that somebody else already owns.
  [[nodiscard]] static P share(T* owned) noexcept {
    detail::AddRef(owned);
    return adopt(owned);
  }

  P(const P& other) noexcept : object(other.object) { detail::AddRef(object); }
  P(P&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
  template <class U>
    requires std::convertible_to<U*, T*>
  P(const P<U>& other) noexcept : object(other.get()) {
    detail::AddRef(object);
  }
  template <class U>
    requires std::convertible_to<U*, T*>
  P(P<U>&& other) noexcept : object(other.detach()) {}

  ~P() { detail::Release(object); }

  // Every assignment takes the new reference first, swaps, and only then
  // drops the old one: the source may be this pointer itself, or live inside
  // the object that the old reference keeps alive.
  P& operator=(const P& other) {
    P(other).swap(*this);
    return *this;
  }
  P& operator=(P&& other) {
    P(std::move(other)).swap(*this);
    return *this;
  }
  P& operator=(std::nullptr_t) {
    P().swap(*this);
    return *this;
  }
  void swap(P& other) noexcept { std::swap(object, other.object); }

  // Hands the held reference to the caller and leaves this pointer null.
  [[nodiscard]] T* detach() noexcept { return std::exchange(object, nullptr); }

  T* get() const noexcept { return object; }
  T* operator->() const noexcept {
    assert(object && "dereferencing a null lumo::P");
    return object;
  }
  T& operator*() const noexcept {
    assert(object && "dereferencing a null lumo::P");
    return *object;
  }
  explicit operator bool() const noexcept { return object != nullptr; }

  template <class U>
  bool operator==(const P<U>& other) const noexcept {
    return object == other.get();
  }
  bool operator==(std::nullptr_t) const noexcept { return object == nullptr; }

 private:
  T* object = nullptr;
};

// Creates a T and adopts its one reference.
template <class T, class... Args>
[[nodiscard]] P<T> make(Args&&... args) {
  return P<T>::adopt(new T(std::forward<Args>(args)...));
}

// A pointer with a strength flag. A strong PFrail owns a reference like P; a
// frail one holds the pointer without a reference, for lists of listeners
// that are owned elsewhere and remove themselves before they die.
template <class T>
class PFrail {
 public:
  constexpr PFrail() noexcept = default;
  constexpr PFrail(std::nullptr_t) noexcept {}
  PFrail(const P<T>& owned) noexcept : object(owned.get()) { detail::AddRef(object); }

  [[nodiscard]] static PFrail adopt(T* fresh) noexcept { return PFrail(fresh, true); }
  [[nodiscard]] static PFrail share(T* owned) noexcept {
    detail::AddRef(owned);
    return PFrail(owned, true);
  }
  // Holds `object` without a reference; its owner keeps it alive.
  [[nodiscard]] static PFrail frail(T* object) noexcept { return PFrail(object, false); }

  PFrail(const PFrail& other) noexcept : object(other.object), strong(other.strong) {
    if (strong) detail::AddRef(object);
  }
  PFrail(PFrail&& other) noexcept
      : object(std::exchange(other.object, nullptr)), strong(std::exchange(other.strong, true)) {}
  ~PFrail() {
    if (strong) detail::Release(object);
  }

  // As for P: take the new reference, swap, then drop the old one.
  PFrail& operator=(const PFrail& other) {
    PFrail(other).swap(*this);
    return *this;
  }
  PFrail& operator=(PFrail&& other) {
    PFrail(std::move(other)).swap(*this);
    return *this;
  }
  void swap(PFrail& other) noexcept {
    std::swap(object, other.object);
    std::swap(strong, other.strong);
  }

  bool isStrong() const noexcept { return strong; }
  T* get() const noexcept { return object; }
  T* operator->() const noexcept {
    assert(object && "dereferencing a null lumo::PFrail");
    return object;
  }
  T& operator*() const noexcept {
    assert(object && "dereferencing a null lumo::PFrail");
    return *object;
  }
  explicit operator bool() const noexcept { return object != nullptr; }

 private:
  PFrail(T* object, bool strong) noexcept : object(object), strong(strong) {}

  T* object = nullptr;
  bool strong = true;
};

}  // namespace lumo
