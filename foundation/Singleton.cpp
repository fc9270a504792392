#include "foundation/Singleton.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

namespace lumo::detail {

namespace {
// The platform layer's mutex factory and thread manager are singletons made
// through this lock, so it cannot be one of their mutexes: it exists before
// any of them. A recursive mutex, like theirs; the wait below sleeps 1 ms, as
// their Yield(true) does.
std::recursive_mutex& CreationLock() {
  static std::recursive_mutex lock;
  return lock;
}
}  // namespace

void LockSingletonCreation() { CreationLock().lock(); }
void UnlockSingletonCreation() noexcept { CreationLock().unlock(); }

void YieldToSingletonCreator() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void SingletonCreatedRecursively() noexcept {
  std::fputs("lumo: a singleton's factory asked for the singleton it is creating\n", stderr);
  std::terminate();
}

}  // namespace lumo::detail
