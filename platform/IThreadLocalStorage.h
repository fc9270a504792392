// Thread-local storage: raw system slots, and variables that keep a number
// and an object per thread.
//
//   const lumo::P<lumo::IThreadLocalStorage> current = lumo::make<lumo::CThreadLocalStorage>();
//   current->SetObject(job);            // this thread's job only
//   lumo::IBase* mine = current->GetObject();
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// One system thread-local slot: a pointer-sized value per thread, empty in
// every thread at first.
class ISimpleThreadLocalStorage : public virtual IBase {
 public:
  virtual void SetValue(void* value) = 0;
  virtual void* GetValue() = 0;
};

class ISimpleThreadLocalStorageFactory : public virtual IBase {
 public:
  virtual P<ISimpleThreadLocalStorage> CreateStorage() = 0;
};

// A thread-local variable: a raw number and an object reference per thread.
// A thread that never set either reads 0 and null.
class IThreadLocalStorage : public virtual IBase {
 public:
  virtual void SetValue(std::uint32_t value) = 0;
  virtual std::uint32_t GetValue() = 0;
  // Keeps a reference to `object` for the calling thread and releases the
  // one it replaces.
  virtual void SetObject(P<IBase> object) = 0;
  virtual IBase* GetObject() = 0;
};

// The process-wide factory of simple slots, made on first use.
const P<ISimpleThreadLocalStorageFactory>& GetSimpleThreadLocalStorageFactory();
// The one process-wide simple slot, which holds each thread's record of its
// thread-local variables.
const P<ISimpleThreadLocalStorage>& GetSimpleThreadLocalStorage();

}  // namespace lumo
