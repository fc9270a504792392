// The splash window: the product picture (bitmap 104 of the program) in a
// borderless window in the middle of the screen, faded in where the system
// can blend, shown and closed again within one call during start-up.
#include "shell/Splash.h"

#include <algorithm>
#include <utility>

#include "compat/mfc/Backend.h"
#include "compat/mfc/Wnd.h"
#include "compat/win32/Module.h"
#include "compat/win32/Resource.h"
#include "compat/win32/Time.h"

namespace {

constexpr int kSplashBitmap = 104;
// How long the window's own fade lasts when the system asks it to paint.
constexpr DWORD kFadePeriod = 5000;
constexpr int kFadeFrames = 32;
constexpr int kFadeStep = 8;

using AlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

// Waits while letting the window system draw the splash and deliver the
// key presses and clicks that close it. A display that went away ends the
// wait: the next frame cannot be drawn, which ends the splash.
void WaitWithEvents(DWORD milliseconds) {
  const DWORD start = timeGetTime();
  for (;;) {
    if (!compat::mfc::CurrentBackend().ProcessPending()) return;
    const DWORD spent = timeGetTime() - start;
    if (spent >= milliseconds) return;
    Sleep(std::min<DWORD>(milliseconds - spent, 10));
  }
}

SplashEnvironment& Environment() {
  static SplashEnvironment environment;
  if (!environment.now) environment.now = timeGetTime;
  if (!environment.sleep) environment.sleep = WaitWithEvents;
  return environment;
}

class CSplashWnd;

bool g_splashAllowed = false;
CSplashWnd* g_splash = nullptr;

class CSplashWnd final : public CWnd {
 public:
  CSplashWnd() {
    m_blendLibrary = LoadLibraryW(Environment().blendLibrary);
    if (m_blendLibrary != nullptr) {
      m_alphaBlend = reinterpret_cast<AlphaBlendProc>(GetProcAddress(m_blendLibrary, "AlphaBlend"));
    }
  }

  ~CSplashWnd() override {
    if (m_bitmap != nullptr) DeleteObject(m_bitmap);
    if (m_blendLibrary != nullptr) FreeLibrary(m_blendLibrary);
    if (g_splash == this) g_splash = nullptr;
  }

  // Loads the picture and opens the window at its size; false when either
  // fails, and at once where no window can be made (no display).
  bool Create(CWnd* parent) {
    if (!compat::mfc::CurrentBackend().MakesPopups()) return false;
    const HINSTANCE module = Environment().pictureModule;
    m_bitmap = static_cast<HBITMAP>(LoadImageW(module != nullptr ? module : GetModuleHandleW(nullptr),
                                               MAKEINTRESOURCEW(kSplashBitmap), IMAGE_BITMAP, 0, 0,
                                               LR_DEFAULTCOLOR));
    BITMAP size{};
    if (m_bitmap == nullptr || GetObjectW(m_bitmap, sizeof size, &size) == 0) return false;
    m_width = size.bmWidth;
    m_height = size.bmHeight;
    return CreateEx(0, AfxRegisterWndClass(0, LoadCursorW(nullptr, IDC_ARROW)), nullptr, WS_POPUP | WS_VISIBLE, 0,
                    0, m_width, m_height, parent != nullptr ? parent->GetSafeHwnd() : nullptr, nullptr) != FALSE;
  }

  void CenterOnScreen() {
    SetWindowPos(nullptr, (GetSystemMetrics(SM_CXSCREEN) - m_width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - m_height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }

  // Lays the picture onto the window with a constant opacity, or copies it
  // when the system cannot blend. False when the picture cannot be drawn.
  bool Paint(BYTE opacity) {
    const HDC window = GetDC(m_hWnd);
    const HDC memory = CreateCompatibleDC(window);
    const HGDIOBJ previous = SelectObject(memory, m_bitmap);
    BOOL drawn;
    if (m_alphaBlend != nullptr) {
      drawn = m_alphaBlend(window, 0, 0, m_width, m_height, memory, 0, 0, m_width, m_height,
                           BLENDFUNCTION{AC_SRC_OVER, 0, opacity, 0});
    } else {
      drawn = BitBlt(window, 0, 0, m_width, m_height, memory, 0, 0, SRCCOPY);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(m_hWnd, window);
    return drawn != FALSE;
  }

 protected:
  int OnCreate(LPCREATESTRUCT createStruct) override {
    if (CWnd::OnCreate(createStruct) == -1) return -1;
    CenterOnScreen();
    m_created = Environment().now();
    m_fadeEnd = m_created + kFadePeriod;
    return 0;
  }

  // Painting asked for by the system follows the window's own fade.
  void OnPaint() override { Paint(FadeOpacity()); }

  void OnTimer(UINT_PTR /*idEvent*/) override {
    if (static_cast<LONG>(Environment().now() - m_fadeEnd) < 0) {
      Paint(FadeOpacity());
    } else {
      DestroyWindow();
    }
  }

  void PostNcDestroy() override { delete this; }

 private:
  BYTE FadeOpacity() const {
    const DWORD since = Environment().now() - m_created;
    return static_cast<BYTE>(std::min<DWORD>(since, kFadePeriod) * 255 / kFadePeriod);
  }

  HBITMAP m_bitmap = nullptr;
  HMODULE m_blendLibrary = nullptr;
  AlphaBlendProc m_alphaBlend = nullptr;
  int m_width = 0;
  int m_height = 0;
  DWORD m_created = 0;
  DWORD m_fadeEnd = 0;
};

}  // namespace

void EnableSplash(bool enable) { g_splashAllowed = enable; }

void ShowSplash(bool fade, unsigned minimumTime, unsigned frameDelay, CWnd* parent) {
  if (!g_splashAllowed || g_splash != nullptr) return;
  auto* splash = new CSplashWnd;
  g_splash = splash;
  if (!splash->Create(parent)) {
    // A window whose creation failed half-way took the object with it.
    if (g_splash == splash) delete splash;
    return;
  }
  splash->CenterOnScreen();
  // Letting the window system show the window also delivers input, which
  // may close the splash at once.
  splash->UpdateWindow();
  if (g_splash != splash) return;

  const SplashEnvironment& environment = Environment();
  DWORD wait = minimumTime;
  bool drawn = true;
  if (fade) {
    const DWORD start = environment.now();
    for (int frame = 0; frame < kFadeFrames && drawn && g_splash == splash; ++frame) {
      const DWORD frameStart = environment.now();
      drawn = splash->Paint(static_cast<BYTE>(frame * kFadeStep));
      const DWORD took = environment.now() - frameStart;
      if (drawn && g_splash == splash && took < frameDelay) environment.sleep(frameDelay - took);
    }
    const DWORD spent = environment.now() - start;
    wait = spent < minimumTime ? minimumTime - spent : 0;
  } else {
    drawn = splash->Paint(255);
  }
  // A key press or click may have closed the splash meanwhile; a picture that
  // cannot be drawn ends it without the wait.
  if (drawn && wait > 0 && g_splash == splash) environment.sleep(wait);
  if (g_splash == splash) splash->DestroyWindow();
}

bool PreTranslateAppMessage(MSG* msg) {
  if (g_splash == nullptr || msg == nullptr) return false;
  switch (msg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      g_splash->DestroyWindow();
      return true;
    default:
      return false;
  }
}

CWnd* SplashWindow() { return g_splash; }

void SetSplashEnvironment(SplashEnvironment environment) {
  Environment() = std::move(environment);
  Environment();
}
