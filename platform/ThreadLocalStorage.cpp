#include "platform/ThreadLocalStorage.h"

#include <utility>

#include "foundation/Singleton.h"
#include "platform/IThread.h"

namespace lumo {

CThreadLocalStorageManager::CThreadLocalStorageManager(P<ISimpleThreadLocalStorage> slot)
    : slot(std::move(slot)), mutex(GetMutexFactory()->CreateMutex()) {}

CThreadLocalStorageManager::~CThreadLocalStorageManager() {
  while (records != nullptr) delete std::exchange(records, records->next);
}

std::uint32_t CThreadLocalStorageManager::AllocateIndex() {
  CMutexGuard guard(mutex);
  return indexCount++;
}

std::uint32_t CThreadLocalStorageManager::GetIndexCount() {
  CMutexGuard guard(mutex);
  return indexCount;
}

void CThreadLocalStorageManager::ReleaseIndex(std::uint32_t index) {
  std::vector<P<IBase>> released;
  CMutexGuard guard(mutex);
  for (ThreadRecord* record = records; record != nullptr; record = record->next) {
    if (index >= record->slots.size()) continue;
    Slot& cleared = record->slots[index];
    cleared.value = 0;
    if (cleared.object) released.push_back(std::move(cleared.object));
  }
  if (index + 1 == indexCount) {
    // The highest index: the count falls past it and past every free index
    // just below, which may then be handed out again.
    --indexCount;
    while (indexCount > 0 && indexCount - 1 < freeIndices.size() && freeIndices[indexCount - 1]) {
      freeIndices[--indexCount] = false;
    }
  } else {
    if (freeIndices.size() < indexCount) freeIndices.resize(indexCount);
    freeIndices[index] = true;
  }
}

CThreadLocalStorageManager::ThreadRecord* CThreadLocalStorageManager::FindRecord() {
  return static_cast<ThreadRecord*>(slot->GetValue());
}

CThreadLocalStorageManager::Slot* CThreadLocalStorageManager::FindSlot(std::uint32_t index) {
  ThreadRecord* record = FindRecord();
  return record != nullptr && index < record->slots.size() ? &record->slots[index] : nullptr;
}

CThreadLocalStorageManager::Slot& CThreadLocalStorageManager::SlotOf(std::uint32_t index,
                                                                   std::vector<P<IBase>>& released) {
  if (Slot* found = FindSlot(index)) return *found;
  ThreadRecord* record = FindRecord();
  CMutexGuard guard(mutex);
  if (record == nullptr) {
    // A record left by an ended thread whose id the system gave to this one
    // is stale: it goes before the new one is linked in.
    const std::uint64_t threadId = GetThreadManager()->GetCurrentThreadId();
    UnlinkRecords(threadId, released);
    record = new ThreadRecord{threadId, {}, records};
    records = record;
    slot->SetValue(record);
  }
  // The slot is missing, so the record is new or shorter than the index; a
  // live variable's index is below the count, so this always reaches it.
  record->slots.resize(indexCount);
  return record->slots[index];
}

void CThreadLocalStorageManager::UnlinkRecords(std::uint64_t threadId, std::vector<P<IBase>>& released) {
  for (ThreadRecord** link = &records; *link != nullptr;) {
    ThreadRecord* record = *link;
    if (record->threadId != threadId) {
      link = &record->next;
      continue;
    }
    *link = record->next;
    for (Slot& held : record->slots) {
      if (held.object) released.push_back(std::move(held.object));
    }
    delete record;
  }
}

void CThreadLocalStorageManager::RemoveThreadRecord(std::uint64_t threadId) {
  std::vector<P<IBase>> released;
  {
    CMutexGuard guard(mutex);
    if (threadId == kCallingThread) {
      threadId = GetThreadManager()->GetCurrentThreadId();
      slot->SetValue(nullptr);
    }
    UnlinkRecords(threadId, released);
  }
}

std::uint32_t CThreadLocalStorageManager::GetValue(std::uint32_t index) {
  const Slot* found = FindSlot(index);
  return found != nullptr ? found->value : 0;
}

IBase* CThreadLocalStorageManager::GetObject(std::uint32_t index) {
  const Slot* found = FindSlot(index);
  return found != nullptr ? found->object.get() : nullptr;
}

void CThreadLocalStorageManager::SetValue(std::uint32_t index, std::uint32_t value) {
  std::vector<P<IBase>> released;
  SlotOf(index, released).value = value;
}

void CThreadLocalStorageManager::SetObject(std::uint32_t index, P<IBase> object) {
  std::vector<P<IBase>> released;
  Slot& target = SlotOf(index, released);
  const P<IBase> replaced = std::exchange(target.object, std::move(object));
}

namespace {
P<CThreadLocalStorageManager> MakeThreadLocalStorageManager() {
  return make<CThreadLocalStorageManager>(GetSimpleThreadLocalStorage());
}
}  // namespace

const P<CThreadLocalStorageManager>& GetThreadLocalStorageManager() {
  return StaticSingleton<CThreadLocalStorageManager, &MakeThreadLocalStorageManager>();
}

CThreadLocalStorage::CThreadLocalStorage() : CThreadLocalStorage(GetThreadLocalStorageManager()) {}

CThreadLocalStorage::CThreadLocalStorage(P<CThreadLocalStorageManager> manager)
    : manager(std::move(manager)), index(this->manager->AllocateIndex()) {}

CThreadLocalStorage::~CThreadLocalStorage() { manager->ReleaseIndex(index); }

void CThreadLocalStorage::SetValue(std::uint32_t value) { manager->SetValue(index, value); }
std::uint32_t CThreadLocalStorage::GetValue() { return manager->GetValue(index); }
void CThreadLocalStorage::SetObject(P<IBase> object) { manager->SetObject(index, std::move(object)); }
IBase* CThreadLocalStorage::GetObject() { return manager->GetObject(index); }

}  // namespace lumo
