// The root interface of every library object: reference counting, steering of
// interface casts and a description for error messages.
//
// Interfaces derive from IBase virtually, so an object implementing several
// interfaces has one IBase and one reference count:
//
//   class IStream : public virtual lumo::IBase { ... };
#pragma once

#include <typeinfo>

#include "foundation/Forward.h"

namespace lumo {

// One node of the list of further objects an interface cast may try (see
// IBase::getCastInfo). The nodes belong to the object that hands them out and
// stay valid as long as it lives.
struct CastCandidate {
  IBase* object = nullptr;
  CastCandidate* next = nullptr;
};

class IBase {
 public:
  // Counting is logically const: a read-only reference still keeps the
  // object alive.
  virtual void addRef() const = 0;
  virtual void release() const = 0;

  // Lets the object steer a cast to `wanted`: false forbids the cast;
  // setting *delegate sends the cast on to another object; setting
  // *candidates offers further objects to try. Both outputs come in null.
  virtual bool getCastInfo(const std::type_info& wanted, IBase** delegate,
                           CastCandidate** candidates) = 0;

  // A human-readable description of the object, used in error messages.
  virtual String describe() const = 0;

 protected:
  // Objects are destroyed by their last release, never through an interface.
  virtual ~IBase() = default;
};

}  // namespace lumo
