// A framework program for the display test of the one loop: once wxWidgets runs, a window timer
// ticks and a message posted from another thread arrives while wx's loop or a modal dialog runs,
// and GetMessageW handles wx's events while it waits. Prints a line a case.
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/timer.h>

#include "compat/mfc/Backend.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/Message.h"
#include "compat/win32/Time.h"

namespace {

constexpr UINT_PTR kTick = 17;
constexpr UINT_PTR kGiveUp = 99;  // ends a case that hangs, after 10 s
constexpr UINT kFromThread = WM_USER + 1;

// What the window saw, and what to do once the case is complete.
struct Window {
  int ticks = 0;
  int fromThread = 0;
  bool gaveUp = false;
  std::function<void()> done;
  int ticksWanted = 0;
};
Window gWindow;

LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTick) ++gWindow.ticks;
  if (message == kFromThread) ++gWindow.fromThread;
  if (message == WM_TIMER && wParam == kGiveUp) {
    gWindow.gaveUp = true;
    // A case that waits in vain for its end after it finished ends the reading loop.
    if (!gWindow.done) PostQuitMessage(99);
  }
  const bool complete = gWindow.ticks >= gWindow.ticksWanted && gWindow.fromThread > 0;
  if ((complete || gWindow.gaveUp) && gWindow.done) std::exchange(gWindow.done, nullptr)();
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Starts a case: a 20 ms timer, the give-up timer and a post from another thread after 60 ms.
std::thread Begin(HWND hwnd, int ticksWanted, std::function<void()> done) {
  gWindow = Window{};
  gWindow.ticksWanted = ticksWanted;
  gWindow.done = std::move(done);
  SetTimer(hwnd, kTick, 20, nullptr);
  SetTimer(hwnd, kGiveUp, 10000, nullptr);
  return std::thread([hwnd] {
    Sleep(60);
    PostMessageW(hwnd, kFromThread, 0, 0);
  });
}

void End(HWND hwnd, std::thread& poster, const char* name) {
  poster.join();
  KillTimer(hwnd, kTick);
  KillTimer(hwnd, kGiveUp);
  std::printf("%s ticks>=%d:%s posted:%d gave-up:%s\n", name, gWindow.ticksWanted,
              gWindow.ticks >= gWindow.ticksWanted ? "yes" : "no", gWindow.fromThread, gWindow.gaveUp ? "yes" : "no");
  std::fflush(stdout);
}

// Posts the quit message from wx's side: only handled when GetMessageW lets wx run.
class QuitFromWx : public wxTimer {
  void Notify() override { PostQuitMessage(5); }
};

class WxLoopProbeApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    compat::mfc::CurrentBackend();  // loads the wx module before wx starts
    int argc = 0;
    if (!wxEntryStart(argc, static_cast<wxChar**>(nullptr))) return FALSE;
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.lpszClassName = u"probe.Loop";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, u"probe.Loop", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);

    {
      wxGUIEventLoop loop;
      std::thread poster = Begin(hwnd, 5, [&loop] { loop.Exit(); });
      loop.Run();
      End(hwnd, poster, "main-loop");
    }
    {
      wxDialog dialog(nullptr, wxID_ANY, "Modal");
      std::thread poster = Begin(hwnd, 3, [&dialog] { dialog.EndModal(wxID_OK); });
      dialog.ShowModal();
      End(hwnd, poster, "modal");
    }
    {
      // The quit comes from a wx timer, which only GetMessageW's wait runs.
      QuitFromWx quit;
      std::thread poster = Begin(hwnd, 3, [&quit] { quit.StartOnce(1); });
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
      End(hwnd, poster, "get-message");
      std::printf("quit=%d\n", static_cast<int>(msg.wParam));
    }
    DestroyWindow(hwnd);
    wxEntryCleanup();
    return FALSE;
  }
};

WxLoopProbeApp theApp;

}  // namespace
