// The kernel handle table.
#include "compat/win32/Handle.h"
#include "compat/win32/NoDestructor.h"

#include <mutex>
#include <unordered_map>

namespace compat::win32 {
namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Multiples of four from 4 upwards, as Windows numbers its handles.
  std::uintptr_t next = 4;
};

HandleTable& Table() {
  // Never destroyed: handles may still be closed while the process exits.
  static NoDestructor<HandleTable> table;
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle, bool (*onlyIf)(const KernelObject&)) {
  std::shared_ptr<KernelObject> object;  // released after the lock
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.objects.end() || (onlyIf != nullptr && !onlyIf(*found->second))) return false;
  object = std::move(found->second);
  table.objects.erase(found);
  return true;
}

}  // namespace compat::win32
