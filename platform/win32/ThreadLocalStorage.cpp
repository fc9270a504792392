#include "platform/win32/ThreadLocalStorage.h"

#include "compat/win32/Thread.h"
#include "foundation/Exception.h"
#include "foundation/Singleton.h"

namespace lumo {

namespace win32 {

P<ISimpleThreadLocalStorage> CSimpleThreadLocalStorageFactory::CreateStorage() {
  return make<CSimpleThreadLocalStorage>();
}

CSimpleThreadLocalStorage::CSimpleThreadLocalStorage() : index(TlsAlloc()) {
  if (index == TLS_OUT_OF_INDEXES) throw CError(u"No thread-local slot is left.");
}

CSimpleThreadLocalStorage::~CSimpleThreadLocalStorage() { TlsFree(index); }

void CSimpleThreadLocalStorage::SetValue(void* value) { TlsSetValue(index, value); }

void* CSimpleThreadLocalStorage::GetValue() { return TlsGetValue(index); }

}  // namespace win32

namespace {
P<ISimpleThreadLocalStorageFactory> MakeSimpleThreadLocalStorageFactory() {
  return make<win32::CSimpleThreadLocalStorageFactory>();
}
P<ISimpleThreadLocalStorage> MakeSimpleThreadLocalStorage() {
  return GetSimpleThreadLocalStorageFactory()->CreateStorage();
}
}  // namespace

const P<ISimpleThreadLocalStorageFactory>& GetSimpleThreadLocalStorageFactory() {
  return StaticSingleton<ISimpleThreadLocalStorageFactory, &MakeSimpleThreadLocalStorageFactory>();
}

const P<ISimpleThreadLocalStorage>& GetSimpleThreadLocalStorage() {
  return StaticSingleton<ISimpleThreadLocalStorage, &MakeSimpleThreadLocalStorage>();
}

}  // namespace lumo
