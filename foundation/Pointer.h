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

  // The new reference is taken before the old one is dropped, so assigning
  // a pointer to itself is safe.
  P& operator=(const P& other) {
    detail::AddRef(other.object);
    detail::Release(std::exchange(object, other.object));
    return *this;
  }
  P& operator=(P&& other) {
    if (this != &other) detail::Release(std::exchange(object, std::exchange(other.object, nullptr)));
    return *this;
  }
  P& operator=(std::nullptr_t) {
    detail::Release(std::exchange(object, nullptr));
    return *this;
  }

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
  ~PFrail() { drop(); }

  PFrail& operator=(const PFrail& other) {
    if (other.strong) detail::AddRef(other.object);
    drop();
    object = other.object;
    strong = other.strong;
    return *this;
  }
  PFrail& operator=(PFrail&& other) {
    if (this != &other) {
      drop();
      object = std::exchange(other.object, nullptr);
      strong = std::exchange(other.strong, true);
    }
    return *this;
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
  void drop() {
    if (strong) detail::Release(std::exchange(object, nullptr));
  }

  T* object = nullptr;
  bool strong = true;
};

}  // namespace lumo
