#include "foundation/MemoryBlock.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "foundation/Exception.h"

namespace lumo {

namespace {

void RefuseNegative(CMemoryBlock* block, const char* method, std::int32_t bytes) {
  if (bytes < 0) throw CInvalidArgError(block, &typeid(CMemoryBlock), method, "the byte count is negative");
}

}  // namespace

CMemoryBlock::~CMemoryBlock() { delete[] data; }

void CMemoryBlock::setCapacity(std::int32_t newCapacity) {
  RefuseNegative(this, "setCapacity", newCapacity);
  std::uint8_t* const fresh = newCapacity > 0 ? new std::uint8_t[static_cast<std::size_t>(newCapacity)] : nullptr;
  size = std::min(size, newCapacity);
  if (size > 0) std::memcpy(fresh, data, static_cast<std::size_t>(size));
  delete[] data;
  data = fresh;
  capacity = newCapacity;
}

void CMemoryBlock::reserve(std::int32_t newCapacity) {
  if (capacity < newCapacity) setCapacity(newCapacity);
}

void CMemoryBlock::setSize(std::int32_t newSize) {
  RefuseNegative(this, "setSize", newSize);
  reserve(newSize);
  size = newSize;
}

void CMemoryBlock::assign(const void* source, std::int32_t newSize) {
  RefuseNegative(this, "assign", newSize);
  setSize(newSize);
  // A source inside this block fits in it, so setSize left it in place;
  // the two ranges may overlap.
  if (newSize > 0) std::memmove(data, source, static_cast<std::size_t>(newSize));
}

}  // namespace lumo
