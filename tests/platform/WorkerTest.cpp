// Worker managers: the period as the greatest common divisor, workers that
// remove themselves while the manager walks them, nested managers reaching
// the root, and the system's loop with its timer, message handlers, queued
// actions (from other threads too) and after-work functions.
#include "platform/WorkerManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SimpleArray.h"
#include "platform/win32/System.h"

namespace lumo::test {
namespace {

using win32::CSystem;

class Worker : public CObject, public IWorker {
 public:
  Worker(std::uint32_t interval, std::string name = "", std::vector<std::string>* log = nullptr)
      : interval(interval), name(std::move(name)), log(log) {}
  void Work() override {
    ++calls;
    if (log) log->push_back(name);
    if (removeFrom) removeFrom->RemoveWorker(this);
    if (onWork) onWork();
  }
  std::uint64_t GetLastWorkTime() override { return 0; }
  std::uint32_t GetInterval() override { return interval; }
  void AddManager(IWorkerManager* manager) override { managers.add(manager); }
  bool RemoveManager(IWorkerManager* manager) override { return managers.remove(manager); }

  std::uint32_t interval;
  std::string name;
  std::vector<std::string>* log;
  IWorkerManager* removeFrom = nullptr;
  std::function<void()> onWork;
  int calls = 0;
  TFrailArray<IWorkerManager> managers;
};

TEST(WorkerManager, PeriodIsTheGreatestCommonDivisor) {
  const P<CWorkerManager> manager = make<CWorkerManager>();
  EXPECT_EQ(manager->GetInterval(), 0u);
  for (std::uint32_t period : {300u, 500u, 0u}) manager->AddOwnedWorker(make<Worker>(period));
  EXPECT_EQ(manager->GetInterval(), 100u);
  const P<Worker> fifty = make<Worker>(50);
  manager->AddWorker(fifty.get());
  EXPECT_EQ(manager->GetInterval(), 50u);
  EXPECT_EQ(fifty->managers.getCount(), 1);
  const P<Worker> seven = make<Worker>(7);
  manager->AddWorker(seven.get());
  EXPECT_EQ(manager->GetInterval(), 1u);
  manager->RemoveWorker(seven.get());
  EXPECT_EQ(manager->GetInterval(), 50u);
  EXPECT_EQ(seven->managers.getCount(), 0);
  manager->RemoveWorker(fifty.get());
}

TEST(WorkerManager, AWorkerRemovingItselfSkipsNoOther) {
  std::vector<std::string> log;
  const P<CWorkerManager> manager = make<CWorkerManager>();
  P<Worker> middle = make<Worker>(0, "middle", &log);
  middle->removeFrom = manager.get();
  manager->AddOwnedWorker(make<Worker>(0, "first", &log));
  manager->AddOwnedWorker(middle);
  manager->AddOwnedWorker(make<Worker>(0, "last", &log));
  middle = nullptr;  // the manager holds the only reference now
  manager->Work();
  manager->Work();
  EXPECT_EQ(log, (std::vector<std::string>{"last", "middle", "first", "last", "first"}));
}

TEST(SystemWorkers, TimerFollowsTheRootPeriodWithItsFloorAndDefault) {
  const P<CSystem> system = make<CSystem>();
  EXPECT_EQ(system->GetTimerInterval(), 100);
  const P<CWorkerManager> nested = make<CWorkerManager>();
  system->AddWorker(nested.get());
  const P<Worker> slow = make<Worker>(40);
  nested->AddWorker(slow.get());
  EXPECT_EQ(system->GetTimerInterval(), 40);
  const P<Worker> fast = make<Worker>(6);
  nested->AddWorker(fast.get());
  EXPECT_EQ(system->GetInterval(), 2u);
  EXPECT_EQ(system->GetTimerInterval(), 20);
  nested->RemoveWorker(fast.get());
  nested->RemoveWorker(slow.get());
  EXPECT_EQ(system->GetTimerInterval(), 100);
  system->RemoveWorker(nested.get());
}

class QuitHandler : public CObject, public win32::IWin32SystemMessageHandler {
 public:
  bool HandleMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) override {
    if (message == CSystem::kQuitMessage) ++quitMessages;
    return false;
  }
  int quitMessages = 0;
};

class Action : public CObject, public IAction {
 public:
  explicit Action(std::function<void()> run) : run(std::move(run)) {}
  void Run() override { run(); }
  std::function<void()> run;
};

// The loop calls the workers from its timer, hands the system's quit
// message to the handlers, runs the actions and then the after-work list.
TEST(SystemWorkers, TheLoopRunsWorkersActionsAndAfterWork) {
  const P<CSystem> system = make<CSystem>();
  const P<QuitHandler> handler = make<QuitHandler>();
  system->AddMessageHandler(handler.get());
  std::vector<std::string> log;
  const P<Worker> worker = make<Worker>(20, "work", &log);
  worker->onWork = [&] {
    if (worker->calls == 3) system->QueueAction(make<Action>([&] { log.push_back("action"); }));
    if (worker->calls == 5) system->RequestQuit();
  };
  system->AddWorker(worker.get());
  system->AddAfterWorkFunction([&] { log.push_back("after"); });
  system->RunMessageLoop();
  EXPECT_TRUE(system->IsQuitRequested());
  EXPECT_EQ(log, (std::vector<std::string>{"work", "work", "work", "action", "after", "work", "work", "after"}));
  EXPECT_EQ(handler->quitMessages, 1);
  system->RemoveWorker(worker.get());
}

// Actions queued by four threads while the loop runs all run, once each, on
// the loop's thread.
TEST(SystemWorkers, ActionsFromOtherThreadsRunOnTheLoopThread) {
  const P<CSystem> system = make<CSystem>();
  constexpr int kThreads = 4, kEach = 200;
  const std::thread::id loopThread = std::this_thread::get_id();
  int ran = 0;
  bool elsewhere = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        system->QueueAction(make<Action>([&] {
          elsewhere = elsewhere || std::this_thread::get_id() != loopThread;
          if (++ran == kThreads * kEach) system->RequestQuit();
        }));
        if (i % 50 == 0) std::this_thread::yield();
      }
    });
  }
  system->RunMessageLoop();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(ran, kThreads * kEach);
  EXPECT_FALSE(elsewhere);
}

}  // namespace
}  // namespace lumo::test
