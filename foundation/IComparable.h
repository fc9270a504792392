// Ordering between library objects (strings order by their code points).
#pragma once

#include <cstdint>

#include "foundation/IBase.h"

namespace lumo {

class IComparable : public virtual IBase {
 public:
  // Negative when this object orders before `other`, 0 when equal, positive
  // when after.
  virtual std::int32_t compareTo(const IComparable& other) const = 0;
};

}  // namespace lumo
