// The mutexes of the platform layer: re-entrant critical sections.
#pragma once

#include "compat/win32/Thread.h"
#include "foundation/Object.h"
#include "platform/IMutex.h"

namespace lumo::win32 {

class CMutexFactory final : public CObject, public IMutexFactory {
 public:
  P<IMutex> CreateMutex() override;
};

class CMutexImpl final : public CObject, public IMutex {
 public:
  CMutexImpl();
  CMutexImpl(const CMutexImpl&) = delete;
  CMutexImpl& operator=(const CMutexImpl&) = delete;

  void Lock() override;
  void Unlock() override;

 protected:
  ~CMutexImpl() override;

 private:
  CRITICAL_SECTION section;
};

}  // namespace lumo::win32
