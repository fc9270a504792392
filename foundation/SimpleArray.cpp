#include "foundation/SimpleArray.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <typeinfo>
#include <vector>

#include "foundation/Exception.h"

namespace lumo {

CSimpleArrayTemplateBase::CSimpleArrayTemplateBase(std::int32_t growthStep) noexcept
    : growthStep(growthStep > 0 ? growthStep : kDefaultGrowthStep) {}

CSimpleArrayTemplateBase::~CSimpleArrayTemplateBase() { ::operator delete(data); }

void CSimpleArrayTemplateBase::refuse(const char* method, const char* what) const {
  // The array is usually a member of another object, so the error names its
  // class rather than holding a reference to it.
  throw CInvalidArgError(nullptr, &typeid(*this), method, what);
}

void CSimpleArrayTemplateBase::reserve(std::int32_t needed, std::size_t size) {
  if (needed <= capacity) return;
  const std::int64_t stepped = std::int64_t{capacity} + growthStep;
  const auto newCapacity = static_cast<std::int32_t>(
      std::min<std::int64_t>(std::max<std::int64_t>(needed, stepped), std::numeric_limits<std::int32_t>::max()));
  void* moved = ::operator new(static_cast<std::size_t>(newCapacity) * size);
  if (data) std::memcpy(moved, data, static_cast<std::size_t>(count) * size);
  ::operator delete(data);
  data = moved;
  capacity = newCapacity;
}

void CSimpleArrayTemplateBase::openGap(std::int32_t index, std::size_t size, const char* method) {
  if (index < 0 || index > count) refuse(method, "the index lies outside the array");
  if (count == std::numeric_limits<std::int32_t>::max()) refuse(method, "the array is full");
  reserve(count + 1, size);
  std::memmove(slot(index + 1, size), slot(index, size), static_cast<std::size_t>(count - index) * size);
  ++count;
}

void CSimpleArrayTemplateBase::checkRange(std::int32_t start, std::int32_t n, const char* method) const {
  if (start < 0 || n < 0 || start > count - n) refuse(method, "the range lies outside the array");
}

void CSimpleArrayTemplateBase::closeGap(std::int32_t start, std::int32_t n, std::size_t size, const char* method) {
  checkRange(start, n, method);
  if (start + n < count) {
    std::memmove(slot(start, size), slot(start + n, size), static_cast<std::size_t>(count - start - n) * size);
  }
  count -= n;
}

void CSimpleArrayTemplateBase::resize(std::int32_t newCount, std::size_t size) {
  if (newCount < 0) refuse("setCount", "the count is negative");
  reserve(newCount, size);
  count = newCount;
}

CCleaningSimpleArrayTemplateBase::~CCleaningSimpleArrayTemplateBase() { clear(); }

CleaningEntry& CCleaningSimpleArrayTemplateBase::insertNull(std::int32_t index) {
  openGap(index, sizeof(CleaningEntry), "insert");
  return *std::construct_at(&entry(index));
}

void CCleaningSimpleArrayTemplateBase::replace(std::int32_t index, CleaningEntry replacement) {
  const CleaningEntry doomed = std::exchange(entry(index), replacement);
  releaseEntry(doomed);
}

void CCleaningSimpleArrayTemplateBase::drop(std::int32_t start, std::int32_t n, const char* method) {
  checkRange(start, n, method);
  const std::vector<CleaningEntry> doomed(&entry(start), &entry(start) + n);
  closeGap(start, n, sizeof(CleaningEntry), method);
  for (const CleaningEntry& each : doomed) releaseEntry(each);
}

void CCleaningSimpleArrayTemplateBase::setCount(std::int32_t newCount) {
  const std::int32_t old = getCount();
  if (newCount < old) {
    drop(newCount, old - newCount, "setCount");  // a negative count is refused here
    return;
  }
  resize(newCount, sizeof(CleaningEntry));
  for (std::int32_t i = old; i < newCount; ++i) std::construct_at(&entry(i));
}

std::int32_t CCleaningSimpleArrayTemplateBase::indexOfObject(std::int32_t start, const void* object) const noexcept {
  for (std::int32_t i = std::max(start, 0); i < getCount(); ++i) {
    if (entry(i).object == object) return i;
  }
  return -1;
}

std::int32_t CCleaningSimpleArrayTemplateBase::lastIndexOfObject(const void* object) const noexcept {
  for (std::int32_t i = getCount() - 1; i >= 0; --i) {
    if (entry(i).object == object) return i;
  }
  return -1;
}

void CCleaningSimpleArrayTemplateBase::sortRange(std::int32_t start, std::int32_t n, const EntryOrder& before) {
  checkRange(start, n, "sort");
  // Sorted aside and copied back, so that an order that raises halfway
  // leaves every entry, and every reference, where it was.
  std::vector<CleaningEntry> sorted(&entry(start), &entry(start) + n);
  std::stable_sort(sorted.begin(), sorted.end(), [&before](const CleaningEntry& first, const CleaningEntry& second) {
    return before(first.object, second.object);
  });
  std::copy(sorted.begin(), sorted.end(), &entry(start));
}

bool CFrailArrayTemplateBase::removeFirst(const void* object) {
  const std::int32_t index = indexOfObject(0, object);
  if (index < 0) return false;
  remove(index);
  return true;
}

template class TCleaningSimpleArray<P<IBase>>;
template class TCleaningSimpleArray<PC<IBase>>;
template class TCleaningSimpleArray<PFrail<IBase>>;

}  // namespace lumo
