// Threads started by the thread manager, and thread-local variables in them.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "foundation/Exception.h"
#include "platform/IThread.h"
#include "platform/ThreadLocalStorage.h"
#include "tests/foundation/FoundationTestSupport.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define UNDER_SANITIZER 1
#endif
#endif

namespace lumo {
namespace {

using CCounted = test::TCounted<std::atomic<int>>;

struct RunContext {
  IBase* seenObject = nullptr;
  std::uint64_t threadId = 0;
};

void RecordRun(IBase* object, void* context) {
  *static_cast<RunContext*>(context) = {object, GetThreadManager()->GetCurrentThreadId()};
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
  EXPECT_EQ(destroyed, 0);
  release = true;
  thread->Join();
  EXPECT_EQ(destroyed, 1);
}

// Caps the address space just above what the process uses, below what a thread's stack needs.
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

}  // namespace
}  // namespace lumo
