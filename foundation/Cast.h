// Interface casts that let the object steer them: an object may forbid a
// cast, send it on to a delegate, or offer further candidate objects.
//
//   if (lumo::IString* text = lumo::cast<lumo::IString>(object)) ...
//   lumo::IStream& stream = *lumo::castOrThrow<lumo::IStream>(object);
//
// The result is borrowed from `object`; keep it with P<T>::share.
#pragma once

#include <typeinfo>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

namespace detail {
[[noreturn]] void ThrowCastError(IBase* object, const std::type_info& wanted);
}

// Null when `object` is null, forbids the cast, or cannot be seen as a T.
// The delegate is followed only when `followDelegate` is set; candidates are
// tried without following theirs.
template <class T>
T* cast(IBase* object, bool followDelegate = true) {
  if (!object) return nullptr;
  IBase* delegate = nullptr;
  CastCandidate* candidates = nullptr;
  if (!object->getCastInfo(typeid(T), &delegate, &candidates)) return nullptr;
  if (delegate && followDelegate) return cast<T>(delegate, true);
  if (T* result = dynamic_cast<T*>(object)) return result;
  for (CastCandidate* candidate = candidates; candidate; candidate = candidate->next) {
    if (T* result = cast<T>(candidate->object, false)) return result;
  }
  return nullptr;
}

template <class T, class U>
T* cast(const P<U>& object, bool followDelegate = true) {
  return cast<T>(static_cast<IBase*>(object.get()), followDelegate);
}

// As cast with the delegate followed; a non-null object that cannot be cast
// raises CCastError. A null object gives null without error.
template <class T>
T* castOrThrow(IBase* object) {
  T* result = cast<T>(object, true);
  if (!result && object) detail::ThrowCastError(object, typeid(T));
  return result;
}

template <class T, class U>
T* castOrThrow(const P<U>& object) {
  return castOrThrow<T>(static_cast<IBase*>(object.get()));
}

}  // namespace lumo
