// Thread-local variables: per-thread values and objects, index reuse, and per-thread records.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/Object.h"
#include "platform/ThreadLocalStorage.h"
#include "tests/foundation/FoundationTestSupport.h"

namespace lumo {
namespace {

using CCounted = test::TCounted<>;

// A manager of its own, so that index counts start at zero.
P<CThreadLocalStorageManager> FreshManager() {
  return make<CThreadLocalStorageManager>(GetSimpleThreadLocalStorageFactory()->CreateStorage());
}

TEST(ThreadLocalStorage, EachThreadSeesOnlyWhatItSet) {
  const P<CThreadLocalStorageManager> manager = FreshManager();
  const P<CThreadLocalStorage> variable = make<CThreadLocalStorage>(manager);
  int destroyed = 0;
  variable->SetValue(41);
  variable->SetObject(make<CCounted>(destroyed));
  IBase* const mine = variable->GetObject();
  // A variable newer than this thread's record reads empty until set, and what it is set to stays when the
  // record grows for a newer one still.
  const P<CThreadLocalStorage> newer = make<CThreadLocalStorage>(manager);
  EXPECT_EQ(newer->GetValue(), 0u);
  EXPECT_EQ(newer->GetObject(), nullptr);
  newer->SetValue(7);
  const P<CThreadLocalStorage> newest = make<CThreadLocalStorage>(manager);
  newest->SetValue(8);
  EXPECT_EQ(newer->GetValue(), 7u);
  std::thread([&] {
    EXPECT_EQ(variable->GetValue(), 0u);
    EXPECT_EQ(variable->GetObject(), nullptr);
    variable->SetValue(5);
  }).join();
  EXPECT_EQ(variable->GetValue(), 41u);
  EXPECT_EQ(variable->GetObject(), mine);
  // Replacing releases the old object; the new one lives on in the slot.
  variable->SetObject(make<CCounted>(destroyed));
  EXPECT_EQ(destroyed, 1);
  manager->RemoveThreadRecord();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(variable->GetObject(), nullptr);
  EXPECT_EQ(variable->GetValue(), 0u);
}

TEST(ThreadLocalStorage, ThreeVariablesLoseTheSecondThenTheThird) {
  const P<CThreadLocalStorageManager> manager = FreshManager();
  int destroyed = 0;
  P<CThreadLocalStorage> variables[3];
  for (P<CThreadLocalStorage>& variable : variables) {
    variable = make<CThreadLocalStorage>(manager);
    variable->SetObject(make<CCounted>(destroyed));
    variable->SetValue(9);
  }
  std::atomic<bool> release = false, stored = false;
  std::thread other([&] {
    variables[1]->SetValue(3);
    stored = true;
    while (!release) std::this_thread::yield();
    // The reused index starts empty here too.
    EXPECT_EQ(variables[1]->GetValue(), 0u);
  });
  while (!stored) std::this_thread::yield();
  EXPECT_EQ(variables[1]->GetIndex(), 1u);
  variables[1] = nullptr;
  EXPECT_EQ(manager->GetIndexCount(), 3u);  // a free index below the top stays counted
  variables[2] = nullptr;
  EXPECT_EQ(manager->GetIndexCount(), 1u);
  variables[1] = make<CThreadLocalStorage>(manager);
  EXPECT_EQ(variables[1]->GetIndex(), 1u);
  EXPECT_EQ(variables[1]->GetObject(), nullptr);
  EXPECT_EQ(variables[0]->GetValue(), 9u);
  release = true;
  other.join();
  // Only the index that stays on top comes back; a free one below waits.
  variables[2] = make<CThreadLocalStorage>(manager);
  P<CThreadLocalStorage> fourth = make<CThreadLocalStorage>(manager);
  variables[2] = nullptr;
  EXPECT_EQ(make<CThreadLocalStorage>(manager)->GetIndex(), 4u);
  // With the top gone, the count falls past every free index, down to 0.
  variables[0] = nullptr;
  variables[1] = nullptr;
  fourth = nullptr;
  EXPECT_EQ(manager->GetIndexCount(), 0u);
}

TEST(ThreadLocalStorage, DestroyingAVariableReleasesItsObjectInEveryThread) {
  const P<CThreadLocalStorageManager> manager = FreshManager();
  P<CThreadLocalStorage> variable = make<CThreadLocalStorage>(manager);
  int destroyed = 0;
  variable->SetObject(make<CCounted>(destroyed));
  std::thread([&] { variable->SetObject(make<CCounted>(destroyed)); }).join();
  EXPECT_EQ(destroyed, 0);  // a thread not started by the manager keeps its record
  variable = nullptr;
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
}  // namespace lumo
