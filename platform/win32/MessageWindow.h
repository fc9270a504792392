// An invisible window whose messages go to registered listeners, and the
// window timer built on it, which turns the system's timer messages into
// calls of timer listeners. Both belong to the thread that made them and
// hear of messages only while that thread runs its message loop.
//
//   lumo::P<lumo::win32::CWindowTimer> timer = lumo::make<lumo::win32::CWindowTimer>(nullptr, 20);
//   timer->AddTimerListener(this);   // not owned: remove it before it dies
//   timer->Start();
#pragma once

#include <cstdint>

#include "compat/win32/Message.h"
#include "foundation/IBase.h"
#include "foundation/Object.h"
#include "foundation/SimpleArray.h"
#include "platform/FrailList.h"

namespace lumo::win32 {

class CMessageWindow : public CObject {
 public:
  class IMessageListener : public virtual IBase {
   public:
    virtual void OnMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  };

  // CError with the localized CreateWindowError text when the system makes no window.
  explicit CMessageWindow(HWND parent);

  HWND GetWindow() const { return window; }
  // Listeners are not owned; each removes itself before it dies, and may do
  // so while it is being called.
  void AddMessageListener(IMessageListener* listener) { listeners.add(listener); }
  bool RemoveMessageListener(IMessageListener* listener) { return listeners.remove(listener); }
  // From any thread; the message arrives through the window's thread's loop.
  bool PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  // Offers the message to the listeners, the last added first, then gives
  // it the system's default processing.
  virtual std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

 protected:
  ~CMessageWindow() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window = nullptr;
  TFrailArray<IMessageListener> listeners;
};

class CWindowTimer : public CMessageWindow {
 public:
  class ITimerListener : public virtual IBase {
   public:
    virtual void OnTimer(CWindowTimer* timer) = 0;
  };

  static constexpr UINT_PTR kTimerId = 17;

  // Stopped; an interval of 0 leaves it unset.
  CWindowTimer(HWND parent, std::int32_t interval);

  // CInvalidArgError below 1 ms; a running timer restarts with the new period.
  void SetInterval(std::int32_t milliseconds);
  std::int32_t GetInterval() const { return interval; }
  bool IsRunning() const { return timerId != 0; }
  // Starts the period anew, dropping ticks that are still waiting.
  void Start();
  void AddTimerListener(ITimerListener* listener) { timerListeners.add(listener); }
  bool RemoveTimerListener(ITimerListener* listener) { return timerListeners.remove(listener); }

  // A tick of this timer drops any further waiting tick first, so a
  // listener slower than the period gets one call per tick handled.
  std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

 protected:
  ~CWindowTimer() override;

 private:
  void dropWaitingTicks();

  std::int32_t interval = 0;
  UINT_PTR timerId = 0;
  TFrailArray<ITimerListener> timerListeners;
};

}  // namespace lumo::win32
