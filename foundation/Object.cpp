#include "foundation/Object.h"

#include "foundation/String.h"
#include "foundation/TypeName.h"

namespace lumo {

void CReferencable::addRef() const noexcept { references.fetch_add(1, std::memory_order_relaxed); }

void CReferencable::release() const {
  if (references.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  references.store(kDestroyingCount, std::memory_order_relaxed);
  destroy();
}

void CReferencable::destroy() const { delete this; }

void CObject::addRef() const noexcept { CReferencable::addRef(); }
void CObject::release() const { CReferencable::release(); }
void CObject::destroy() const { CReferencable::destroy(); }

String CObject::describe() const { return TypeName(typeid(*this)) + " object"; }

bool CObject::getCastInfo(const std::type_info&, IBase**, CastCandidate**) { return true; }

}  // namespace lumo
