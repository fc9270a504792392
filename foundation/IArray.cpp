#include "foundation/IArray.h"

#include <algorithm>

namespace lumo {

void CConstArray::set(std::int32_t index, PC<IBase> element) {
  elements[static_cast<std::size_t>(index)] = std::move(element);
}

void CConstArray::insert(std::int32_t index, PC<IBase> element) {
  elements.insert(elements.begin() + index, std::move(element));
}

void CConstArray::remove(std::int32_t index) { elements.erase(elements.begin() + index); }

void CConstArray::setCount(std::int32_t count) { elements.resize(static_cast<std::size_t>(std::max(count, 0))); }

std::int32_t CConstArray::indexOf(std::int32_t start, const IBase* element) const {
  for (std::size_t i = static_cast<std::size_t>(std::max(start, 0)); i < elements.size(); ++i) {
    if (elements[i].get() == element) return static_cast<std::int32_t>(i);
  }
  return -1;
}

}  // namespace lumo
