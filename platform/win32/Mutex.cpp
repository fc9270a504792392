#include "platform/win32/Mutex.h"

#include "foundation/Singleton.h"

namespace lumo {

namespace win32 {

P<IMutex> CMutexFactory::CreateMutex() { return make<CMutexImpl>(); }

CMutexImpl::CMutexImpl() { InitializeCriticalSection(&section); }
CMutexImpl::~CMutexImpl() { DeleteCriticalSection(&section); }

void CMutexImpl::Lock() { EnterCriticalSection(&section); }
void CMutexImpl::Unlock() { LeaveCriticalSection(&section); }

}  // namespace win32

namespace {
P<IMutexFactory> MakeMutexFactory() { return make<win32::CMutexFactory>(); }
}  // namespace

const P<IMutexFactory>& GetMutexFactory() { return StaticSingleton<IMutexFactory, &MakeMutexFactory>(); }

}  // namespace lumo
