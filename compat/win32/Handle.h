// The one table of kernel handles compat hands out (files, searches,
// mutexes), so that CloseHandle closes every kind. Internal to compat.
//
//   HANDLE h = compat::win32::InsertHandle(std::make_shared<FileObject>(fd));
//   if (auto file = compat::win32::ObjectOfHandle<FileObject>(h)) ...
//   compat::win32::RemoveHandle(h);  // the object goes with its last user
#pragma once

#include <memory>

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// What a handle stands for. The object lives while a handle names it or an
// operation on another thread still uses it, so closing a handle in the middle
// of a read on another thread is safe, and the object's destructor does what
// closing the last handle does on Windows.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// What WaitForSingleObject waits on: a mutex until this thread owns it, a
// thread until it has ended. Answers WAIT_OBJECT_0 or WAIT_TIMEOUT.
class WaitableObject : public KernelObject {
 public:
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

// A new handle for `object`. Handle values are never reused, so a stale
// handle answers ERROR_INVALID_HANDLE instead of reaching a newer object.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind an open handle, or null.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> ObjectOfHandle(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Closes the handle; false when it was not open. With `onlyIf`, only a handle
// whose object satisfies it is closed (FindClose closes searches only).
bool RemoveHandle(HANDLE handle, bool (*onlyIf)(const KernelObject&) = nullptr);

}  // namespace compat::win32
