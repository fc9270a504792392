// Simple thread-local slots over the system's thread-local indices.
#pragma once

#include "compat/win32/WinTypes.h"
#include "foundation/Object.h"
#include "platform/IThreadLocalStorage.h"

namespace lumo::win32 {

class CSimpleThreadLocalStorageFactory final : public CObject, public ISimpleThreadLocalStorageFactory {
 public:
  // Raises CError when the system has no index left.
  P<ISimpleThreadLocalStorage> CreateStorage() override;
};

class CSimpleThreadLocalStorage final : public CObject, public ISimpleThreadLocalStorage {
 public:
  CSimpleThreadLocalStorage();
  CSimpleThreadLocalStorage(const CSimpleThreadLocalStorage&) = delete;
  CSimpleThreadLocalStorage& operator=(const CSimpleThreadLocalStorage&) = delete;

  void SetValue(void* value) override;
  void* GetValue() override;

 protected:
  ~CSimpleThreadLocalStorage() override;

 private:
  const DWORD index;
};

}  // namespace lumo::win32
