// A holder for a process-wide object that is made on first use and never
// destroyed, so that whatever still runs while the process exits (atexit
// handlers, destructors of other statics, threads not yet stopped) can call
// in and find it intact. Internal to compat.
//
//   HandleTable& Table() {
//     static compat::win32::NoDestructor<HandleTable> table;
//     return *table;
//   }
#pragma once

#include <new>
#include <utility>

namespace compat::win32 {

template <class T>
class NoDestructor {
 public:
  template <class... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  // The object is left in place on purpose; its memory stays reachable, so
  // leak checkers do not report it.
  ~NoDestructor() = default;
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  T& operator*() { return *get(); }
  T* operator->() { return get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace compat::win32
