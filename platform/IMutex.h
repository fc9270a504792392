// Mutexes: the process-wide mutex factory, the re-entrant mutexes it makes,
// and the scoped guard through which every lock is taken.
//
//   const lumo::P<lumo::IMutex> lock = lumo::GetMutexFactory()->CreateMutex();
//   {
//     lumo::CMutexGuard guard(lock);   // unlocks when the block is left
//     ...
//   }
#pragma once

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// A re-entrant lock: the thread that holds it may lock it again and must
// unlock it as often.
class IMutex : public virtual IBase {
 public:
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class IMutexFactory : public virtual IBase {
 public:
  virtual P<IMutex> CreateMutex() = 0;
};

// The process-wide mutex factory, made on first use.
const P<IMutexFactory>& GetMutexFactory();

// Holds a reference to the mutex, locks it on construction and unlocks it on
// destruction, also when an error passes.
class CMutexGuard {
 public:
  explicit CMutexGuard(P<IMutex> mutex) : mutex(std::move(mutex)) { this->mutex->Lock(); }
  ~CMutexGuard() { mutex->Unlock(); }
  CMutexGuard(const CMutexGuard&) = delete;
  CMutexGuard& operator=(const CMutexGuard&) = delete;

 private:
  P<IMutex> mutex;
};

}  // namespace lumo
