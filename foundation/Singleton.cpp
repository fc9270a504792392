#include "foundation/Singleton.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

namespace lumo::detail {

namespace {
// Stands in for the platform layer's re-entrant mutex until that exists.
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
