// The re-entrant mutexes and their guard.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/IMutex.h"

namespace lumo {
namespace {

TEST(Mutex, OwnerMayLockAgainAndIsFreeAfterAsManyUnlocks) {
  const P<IMutex> mutex = GetMutexFactory()->CreateMutex();
  mutex->Lock();
  mutex->Lock();
  mutex->Unlock();  // still held once: another thread must not get in
  std::atomic<bool> entered = false;
  std::thread other([&] {
    CMutexGuard guard(mutex);
    entered = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered);
  mutex->Unlock();
  other.join();
  EXPECT_TRUE(entered);
}

// A plain counter: lost updates (and ThreadSanitizer) show a lock that does not exclude; a guard that
// stayed locked would hang the other threads.
TEST(Mutex, GuardsExcludeEachOther) {
  const P<IMutex> mutex = GetMutexFactory()->CreateMutex();
  long counter = 0;
  constexpr int kThreads = 4, kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        CMutexGuard guard(mutex);
        CMutexGuard again(mutex);
        ++counter;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, long{kThreads} * kRounds);
}

}  // namespace
}  // namespace lumo
