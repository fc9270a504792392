#include "platform/win32/MessageWindow.h"

#include <typeinfo>

#include "compat/win32/Module.h"
#include "foundation/Exception.h"
#include "foundation/IStringLocalizer.h"

namespace lumo::win32 {

namespace {
constexpr char16_t kClassName[] = u"lumo.win32.CMessageWindow.WindowClass";
constexpr std::uintptr_t kBackgroundBrush = 5;
}  // namespace

CMessageWindow::CMessageWindow(HWND parent) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(kBackgroundBrush);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);  // already registered by an earlier window: fine
  window = CreateWindowExW(0, kClassName, u"", WS_POPUP, 0, 0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  if (!window) throw CError(Localize("lumo.gui.win32.CreateWindowError", "Error creating window."));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CMessageWindow::~CMessageWindow() {
  // Messages sent while the window goes away find no object any more.
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

bool CMessageWindow::PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return PostMessageW(window, message, wParam, lParam) != FALSE;
}

LRESULT CALLBACK CMessageWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CMessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Held for the call: a listener may drop the last reference to the window
  // (a timer's owner letting go of it in its own tick).
  const P<CMessageWindow> held = P<CMessageWindow>::share(self);
  return held->HandleMessage(message, wParam, lParam);
}

std::intptr_t CMessageWindow::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  CallEachBackwards(listeners, [&](IMessageListener& listener) { listener.OnMessage(message, wParam, lParam); });
  return DefWindowProcW(window, message, wParam, lParam);
}

namespace {
// `timer` is null while the timer is still being made: an error that held a
// reference to it would outlive the object it names.
void CheckInterval(IBase* timer, const std::type_info& timerClass, std::int32_t milliseconds) {
  if (milliseconds >= 1) return;
  throw CInvalidArgError(timer, &timerClass, "SetInterval",
                         Localize("lumo.win32.CWindowTimer.IntervalGEZero", "window timer intervals have to be >=0"));
}
}  // namespace

CWindowTimer::CWindowTimer(HWND parent, std::int32_t interval) : CMessageWindow(parent) {
  if (interval == 0) return;
  CheckInterval(nullptr, typeid(CWindowTimer), interval);
  SetInterval(interval);
}

CWindowTimer::~CWindowTimer() {
  if (timerId) KillTimer(GetWindow(), timerId);
}

void CWindowTimer::SetInterval(std::int32_t milliseconds) {
  CheckInterval(this, typeid(*this), milliseconds);
  interval = milliseconds;
  if (timerId) Start();
}

void CWindowTimer::dropWaitingTicks() {
  MSG msg;
  while (PeekMessageW(&msg, GetWindow(), WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
}

void CWindowTimer::Start() {
  if (timerId) KillTimer(GetWindow(), timerId);
  dropWaitingTicks();
  timerId = SetTimer(GetWindow(), kTimerId, static_cast<UINT>(interval), nullptr);
}

std::intptr_t CWindowTimer::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == WM_TIMER && timerId != 0 && wParam == timerId) {
    dropWaitingTicks();
    CallEachBackwards(timerListeners, [this](ITimerListener& listener) { listener.OnTimer(this); });
  }
  return CMessageWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace lumo::win32
