// The message window and the window timer: the window's user data, the
// creation error, listeners called from the last to the first while they
// remove themselves, the interval's check, and ticks that never pile up.
#include "platform/win32/MessageWindow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "compat/win32/Time.h"
#include "foundation/Exception.h"
#include "tests/platform/PlatformTestSupport.h"

namespace lumo::test {
namespace {

using win32::CMessageWindow;
using win32::CWindowTimer;

// Writes its name into a shared log on every call; may remove itself, and
// may drop the last reference its owner holds, while being called.
class Listener : public CObject, public CMessageWindow::IMessageListener, public CWindowTimer::ITimerListener {
 public:
  Listener(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}
  void OnMessage(std::uint32_t, std::uintptr_t, std::intptr_t) override {
    if (window && removeSelf) window->RemoveMessageListener(this);
    if (owner) *owner = nullptr;  // the list's call still holds this object
    log.push_back(name);
  }
  void OnTimer(CWindowTimer* timer) override {
    if (removeSelf) timer->RemoveTimerListener(this);
    if (timerOwner) *timerOwner = nullptr;  // the tick still holds the timer
    log.push_back(name);
  }
  std::string name;
  std::vector<std::string>& log;
  CMessageWindow* window = nullptr;
  P<Listener>* owner = nullptr;
  P<CWindowTimer>* timerOwner = nullptr;
  bool removeSelf = false;
};

// Dispatches what the thread's queue holds now.
int Pump() {
  int handled = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageW(&msg);
    ++handled;
  }
  return handled;
}

TEST(MessageWindow, UserDataAndTheCreationError) {
  const P<CMessageWindow> window = make<CMessageWindow>(nullptr);
  EXPECT_EQ(GetWindowLongPtrW(window->GetWindow(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(window.get()));
  const HWND notAWindow = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7FF0));
  EXPECT_EQ(TextOf<CError>([&] { (void)make<CMessageWindow>(notAWindow); }), "Error creating window.");
}

TEST(MessageWindow, ListenersRunBackwardsAndMayRemoveAndDropThemselves) {
  std::vector<std::string> log;
  P<CMessageWindow> window = make<CMessageWindow>(nullptr);
  P<Listener> first = make<Listener>("first", log);
  P<Listener> middle = make<Listener>("middle", log);
  P<Listener> last = make<Listener>("last", log);
  middle->window = window.get();
  middle->removeSelf = true;
  middle->owner = &middle;
  for (Listener* listener : {first.get(), middle.get(), last.get()}) window->AddMessageListener(listener);

  ASSERT_TRUE(window->PostMessage(WM_USER, 1, 2));
  EXPECT_EQ(Pump(), 1);
  EXPECT_EQ(middle, nullptr);
  window->PostMessage(WM_USER, 1, 2);
  Pump();
  // The window's end is no message to its listeners.
  window = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"last", "middle", "first", "last", "first"}));
}

TEST(WindowTimer, IntervalBelowOneIsRefused) {
  const P<CWindowTimer> timer = make<CWindowTimer>(nullptr, 0);
  const std::function<void()> refused[] = {
      [&] { timer->SetInterval(0); },
      [&] { timer->SetInterval(-5); },
      // The constructor sets a non-zero interval the same way; its error outlives the timer it could not make.
      [] { (void)make<CWindowTimer>(nullptr, -5); },
  };
  for (const std::function<void()>& call : refused) {
    EXPECT_NE(TextOf<CInvalidArgError>(call).find("window timer intervals have to be >=0"), std::string::npos);
  }
  timer->SetInterval(1);
  EXPECT_EQ(timer->GetInterval(), 1);
  EXPECT_FALSE(timer->IsRunning());

  // A running timer takes a new interval at once.
  timer->SetInterval(100000);
  timer->Start();
  timer->SetInterval(10);
  Sleep(30);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, timer->GetWindow(), WM_TIMER, WM_TIMER, PM_REMOVE));
}

// Ticks are posted by hand here, so that what waits in the queue is known: a
// listener slower than the period sees one call for the ticks that piled up.
TEST(WindowTimer, StartAndEachTickDropTheTicksThatWait) {
  std::vector<std::string> log;
  P<CWindowTimer> timer = make<CWindowTimer>(nullptr, 100000);
  P<Listener> a = make<Listener>("a", log);
  P<Listener> b = make<Listener>("b", log);
  P<Listener> c = make<Listener>("c", log);
  b->removeSelf = true;
  for (Listener* listener : {a.get(), b.get(), c.get()}) timer->AddTimerListener(listener);

  timer->PostMessage(WM_TIMER, CWindowTimer::kTimerId, 0);
  EXPECT_EQ(Pump(), 1);
  EXPECT_TRUE(log.empty()) << "a stopped timer ignores ticks";

  timer->PostMessage(WM_TIMER, CWindowTimer::kTimerId, 0);
  timer->Start();
  EXPECT_EQ(Pump(), 0);

  for (int i = 0; i < 3; ++i) timer->PostMessage(WM_TIMER, CWindowTimer::kTimerId, 0);
  EXPECT_EQ(Pump(), 1);
  timer->PostMessage(WM_TIMER, CWindowTimer::kTimerId, 0);
  Pump();
  // A listener may let go of the last reference to the timer in its tick.
  c->timerOwner = &timer;
  timer->PostMessage(WM_TIMER, CWindowTimer::kTimerId, 0);
  Pump();
  EXPECT_EQ(timer, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"c", "b", "a", "c", "a", "c", "a"}));
}

}  // namespace
}  // namespace lumo::test
