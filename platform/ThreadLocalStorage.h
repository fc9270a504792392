// Thread-local variables and the manager that keeps each thread's record of
// them.
//
// Every thread that sets a variable gets a record: its thread id and one
// slot (a number and an object reference) per variable index. The record is
// found through one simple system slot, so reading a variable takes no lock.
// Indices are handed out in order; a destroyed variable's index is cleared in
// every record and comes back only once every index above it is gone too.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/Object.h"
#include "platform/IMutex.h"
#include "platform/IThreadLocalStorage.h"

namespace lumo {

class CThreadLocalStorageManager final : public CObject {
 public:
  // Stands for the calling thread in RemoveThreadRecord.
  static constexpr std::uint64_t kCallingThread = ~std::uint64_t{0};

  // `slot` holds each thread's record; the process-wide manager uses the
  // process-wide simple slot.
  explicit CThreadLocalStorageManager(P<ISimpleThreadLocalStorage> slot);
  CThreadLocalStorageManager(const CThreadLocalStorageManager&) = delete;
  CThreadLocalStorageManager& operator=(const CThreadLocalStorageManager&) = delete;

  std::uint32_t AllocateIndex();
  // Clears `index` in every thread and gives it back.
  void ReleaseIndex(std::uint32_t index);
  // How many indices are handed out: one above the highest in use.
  std::uint32_t GetIndexCount();

  // Forgets the thread's record and releases every object it held. A thread
  // started by the thread manager does this when its function returns; any
  // other thread id must belong to a thread that no longer uses variables.
  void RemoveThreadRecord(std::uint64_t threadId = kCallingThread);

  std::uint32_t GetValue(std::uint32_t index);
  void SetValue(std::uint32_t index, std::uint32_t value);
  IBase* GetObject(std::uint32_t index);
  void SetObject(std::uint32_t index, P<IBase> object);

 protected:
  ~CThreadLocalStorageManager() override;

 private:
  struct Slot {
    std::uint32_t value = 0;
    P<IBase> object;
  };
  struct ThreadRecord {
    std::uint64_t threadId;
    std::vector<Slot> slots;
    ThreadRecord* next = nullptr;
  };

  ThreadRecord* FindRecord();
  // The calling thread's slot at `index`, or null when its record has none
  // (yet). Reads and writes find slots this one way.
  Slot* FindSlot(std::uint32_t index);
  // The calling thread's slot at `index`, made with its record when missing.
  // What stale records held goes to `released`, which the caller drops only
  // after writing the slot: releasing may reach variables again and move it.
  Slot& SlotOf(std::uint32_t index, std::vector<P<IBase>>& released);
  // Unlinks every record for `threadId` and moves out what they held, to be
  // released once the lock is given up.
  void UnlinkRecords(std::uint64_t threadId, std::vector<P<IBase>>& released);

  const P<ISimpleThreadLocalStorage> slot;
  const P<IMutex> mutex;
  ThreadRecord* records = nullptr;
  std::uint32_t indexCount = 0;
  std::vector<bool> freeIndices;
};

// The process-wide manager, made on first use.
const P<CThreadLocalStorageManager>& GetThreadLocalStorageManager();

class CThreadLocalStorage final : public CObject, public IThreadLocalStorage {
 public:
  // A new variable of the process-wide manager.
  CThreadLocalStorage();
  explicit CThreadLocalStorage(P<CThreadLocalStorageManager> manager);
  CThreadLocalStorage(const CThreadLocalStorage&) = delete;
  CThreadLocalStorage& operator=(const CThreadLocalStorage&) = delete;

  std::uint32_t GetIndex() const { return index; }

  void SetValue(std::uint32_t value) override;
  std::uint32_t GetValue() override;
  void SetObject(P<IBase> object) override;
  IBase* GetObject() override;

 protected:
  ~CThreadLocalStorage() override;

 private:
  const P<CThreadLocalStorageManager> manager;
  const std::uint32_t index;
};

}  // namespace lumo
