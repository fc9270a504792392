// Threads started by the thread manager, thread-local variables, and the
// process-wide instances of the platform layer.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <barrier>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "foundation/Exception.h"
#include "foundation/Object.h"
#include "platform/IMutex.h"
#include "platform/IThread.h"
#include "platform/ThreadLocalStorage.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define UNDER_SANITIZER 1
#endif
#endif

namespace lumo {
namespace {

// Counts its destructions, so a test sees exactly when a reference went.
class CCounted final : public CObject {
 public:
  explicit CCounted(std::atomic<int>& destroyed) : destroyed(destroyed) {}

 protected:
  ~CCounted() override { ++destroyed; }

 private:
  std::atomic<int>& destroyed;
};

struct RunContext {
  IBase* seenObject = nullptr;
  std::uint64_t threadId = 0;
};

void RecordRun(IBase* object, void* context) {
  auto& run = *static_cast<RunContext*>(context);
  run.seenObject = object;
  run.threadId = GetThreadManager()->GetCurrentThreadId();
}

TEST(Thread, RunsTheCallableOnItsOwnThreadAndHoldsTheObjectOnlyWhenAsked) {
  for (const bool hold : {true, false}) {
    SCOPED_TRACE(hold);
    std::atomic<int> destroyed = 0;
    P<CCounted> object = make<CCounted>(destroyed);
    RunContext run;
    const P<IThread> thread = GetThreadManager()->CreateThread({object.get(), hold, &RecordRun, &run});
    thread->Join();
    thread->Join();  // an ended thread answers at once
    EXPECT_EQ(run.seenObject, static_cast<IBase*>(object.get()));
    EXPECT_NE(run.threadId, 0u);
    EXPECT_NE(run.threadId, GetThreadManager()->GetCurrentThreadId());
    object = nullptr;
    EXPECT_EQ(destroyed, hold ? 0 : 1);
  }
}

TEST(Thread, OutlivesItsLastOutsideReferenceAndThenGoes) {
  std::atomic<bool> go = false;
  std::atomic<int> destroyed = 0;
  StartThread([&go, witness = make<CCounted>(destroyed)] {
    while (!go) GetThreadManager()->Yield(true);
  });  // the handle is dropped here, while the thread waits
  EXPECT_EQ(destroyed, 0);
  go = true;
  // The thread object, and the body with it, goes once the thread is done.
  while (destroyed == 0) GetThreadManager()->Yield(false);
}

TEST(ThreadLocalStorage, ObjectsGoWhenTheirThreadReturns) {
  const P<IThreadLocalStorage> variable = make<CThreadLocalStorage>();
  std::atomic<int> destroyed = 0;
  std::atomic<bool> release = false;
  const P<IThread> thread = StartThread([&] {
    variable->SetObject(make<CCounted>(destroyed));
    variable->SetValue(7);
    while (!release) GetThreadManager()->Yield(true);
  });
  // Another thread never sees this thread's object or value.
  EXPECT_EQ(variable->GetObject(), nullptr);
  EXPECT_EQ(variable->GetValue(), 0u);
  EXPECT_EQ(destroyed, 0);
  release = true;
  thread->Join();
  EXPECT_EQ(destroyed, 1);
}

// Fails thread creation for want of memory: the address space is capped
// just above what the process uses, below what a thread's stack needs.
[[noreturn]] void CreateThreadWithoutRoom() {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t cap = static_cast<rlim_t>(pages) * 4096 + (1 << 20);
  const rlimit limit{cap, cap};
  setrlimit(RLIMIT_AS, &limit);
  try {
    GetThreadManager()->CreateThread({nullptr, false, &RecordRun, nullptr});
  } catch (const CError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    std::exit(0);
  }
  std::exit(1);
}

TEST(Thread, StartFailureNamesTheSystemReason) {
#ifdef UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CreateThreadWithoutRoom(), testing::ExitedWithCode(0),
              "^Error creating thread \\(Not enough memory resources are available to process this command\\.\\)\\.");
}

// Each process-wide instance, first reached by two threads at once: both
// get the one instance.
using Accessor = IBase* (*)();
struct ProcessWide {
  const char* name;
  Accessor get;
};

void PrintTo(const ProcessWide& instance, std::ostream* out) { *out << instance.name; }

class FirstUse : public testing::TestWithParam<ProcessWide> {};

TEST_P(FirstUse, TwoRacingThreadsGetTheSameInstance) {
  IBase* seen[2] = {nullptr, nullptr};
  std::barrier start(2);
  std::vector<std::thread> threads;
  for (IBase*& slot : seen) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      slot = GetParam().get();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0], GetParam().get());
}

INSTANTIATE_TEST_SUITE_P(
    Platform, FirstUse,
    testing::Values(
        ProcessWide{"MutexFactory", [] { return static_cast<IBase*>(GetMutexFactory().get()); }},
        ProcessWide{"ThreadManager", [] { return static_cast<IBase*>(GetThreadManager().get()); }},
        ProcessWide{"SimpleStorageFactory",
                    [] { return static_cast<IBase*>(GetSimpleThreadLocalStorageFactory().get()); }},
        ProcessWide{"SimpleStorage", [] { return static_cast<IBase*>(GetSimpleThreadLocalStorage().get()); }},
        ProcessWide{"StorageManager", [] { return static_cast<IBase*>(GetThreadLocalStorageManager().get()); }}),
    [](const testing::TestParamInfo<ProcessWide>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumo
