#include "platform/win32/Thread.h"

#include <utility>

#include "compat/win32/Error.h"
#include "compat/win32/Process.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Thread.h"
#include "compat/win32/Time.h"
#include "foundation/Exception.h"
#include "foundation/Singleton.h"
#include "platform/ThreadLocalStorage.h"
#include "platform/win32/SystemError.h"

namespace lumo {

namespace win32 {

namespace {

PFrail<IBase> HoldObject(const ThreadCallable& callable) {
  return callable.holdObject ? PFrail<IBase>::share(callable.object) : PFrail<IBase>::frail(callable.object);
}

}  // namespace

P<IThread> CThreadManager::CreateThread(const ThreadCallable& callable) { return make<CThreadImpl>(callable); }

void CThreadManager::Yield(bool sleep) { ::Sleep(sleep ? 1 : 0); }

void CThreadManager::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint64_t CThreadManager::GetCurrentThreadId() { return ::GetCurrentThreadId(); }

CThreadImpl::CThreadImpl(const ThreadCallable& callable)
    : object(HoldObject(callable)), function(callable.function), context(callable.context) {
  self = P<CThreadImpl>::share(this);
  SetLastError(ERROR_SUCCESS);
  handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CThreadImpl::Run, this, 0, nullptr));
  if (handle != nullptr) return;
  const DWORD error = GetLastError();
  // The held object goes with the members as the error passes.
  self = nullptr;
  if (error == ERROR_SUCCESS) throw CError(u"Error creating thread.");
  ThrowSystemError(error, u"Error creating thread (%ERRORDESC%).");
}

CThreadImpl::~CThreadImpl() {
  if (handle != nullptr) CloseHandle(handle);
}

void CThreadImpl::Join() { WaitForSingleObject(handle, INFINITE); }

unsigned WINAPI CThreadImpl::Run(void* raw) {
  CThreadImpl* const thread = static_cast<CThreadImpl*>(raw);
  thread->function(thread->object.get(), thread->context);
  GetThreadLocalStorageManager()->RemoveThreadRecord();
  thread->self = nullptr;
  return 0;
}

}  // namespace win32

namespace {

P<IThreadManager> MakeThreadManager() { return make<win32::CThreadManager>(); }

// Keeps the body alive for as long as its thread runs.
class CThreadBody final : public CObject {
 public:
  explicit CThreadBody(std::function<void()> body) : body(std::move(body)) {}
  static void Run(IBase* object, void* /*context*/) { dynamic_cast<CThreadBody&>(*object).body(); }

 private:
  const std::function<void()> body;
};

}  // namespace

const P<IThreadManager>& GetThreadManager() { return StaticSingleton<IThreadManager, &MakeThreadManager>(); }

P<IThread> StartThread(std::function<void()> body) {
  const P<CThreadBody> object = make<CThreadBody>(std::move(body));
  return GetThreadManager()->CreateThread({object.get(), true, &CThreadBody::Run, nullptr});
}

}  // namespace lumo
