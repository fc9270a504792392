// The counting base classes of every library object.
//
//   class CThing : public lumo::CObject, public IThing {
//    protected:
//     ~CThing() override = default;   // only the last release destroys it
//   };
//   lumo::P<IThing> thing = lumo::make<CThing>();
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/IBase.h"

namespace lumo {

// Holds the reference count. A new object starts at 1: that reference
// belongs to whoever created it.
class CReferencable {
 public:
  // While an object is being destroyed its count sits this far below zero,
  // so that references the destructor takes and drops never reach zero again.
  static constexpr std::int32_t kDestroyingCount = -1000000;

  virtual void addRef() const noexcept;
  virtual void release() const;
  virtual void destroy() const;

 protected:
  CReferencable() noexcept = default;
  // A copy is a new object with its own single reference; the count is
  // never copied.
  CReferencable(const CReferencable&) noexcept {}
  CReferencable& operator=(const CReferencable&) noexcept { return *this; }
  virtual ~CReferencable() = default;

 private:
  mutable std::atomic<std::int32_t> references{1};
};

// The usual base of library classes: counting from CReferencable, and the
// defaults of the IBase operations.
class CObject : public CReferencable, public virtual IBase {
 public:
  void addRef() const noexcept override;
  void release() const override;
  void destroy() const override;
  // "<run-time type name> object", for example "class lumo::CURI object".
  String describe() const override;
  // Allows every cast and offers neither a delegate nor candidates.
  bool getCastInfo(const std::type_info& wanted, IBase** delegate,
                   CastCandidate** candidates) override;

 protected:
  CObject() noexcept = default;
  CObject(const CObject&) noexcept = default;
  CObject& operator=(const CObject&) noexcept = default;
  ~CObject() override = default;
};

}  // namespace lumo
