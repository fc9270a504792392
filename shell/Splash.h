// The splash window shown while the program starts.
#pragma once

#include <functional>

#include "compat/mfc/WinApp.h"

class CWnd;

// Allows the splash; start-up switches it on before showing it.
void EnableSplash(bool enable);
// Shows the product picture and closes it again within this call: fading in
// over frames `frameDelay` ms apart, for at least `minimumTime` ms.
void ShowSplash(bool fade, unsigned minimumTime, unsigned frameDelay, CWnd* parent);
// The application's message filter: a key press or click closes the splash.
// True when the message was consumed.
bool PreTranslateAppMessage(MSG* msg);

// The splash window while one exists, else null.
CWnd* SplashWindow();

// What the splash measures and waits with, and where it looks for the
// blending call and the picture. Start-up keeps the defaults: the multimedia
// clock, a wait that keeps the window system's events flowing,
// "msimg32.dll", and bitmap 104 of the program itself.
struct SplashEnvironment {
  std::function<DWORD()> now;
  std::function<void(DWORD)> sleep;
  LPCWSTR blendLibrary = u"msimg32.dll";
  HINSTANCE pictureModule = nullptr;  // null: the program
};
// Replaces the environment; a default-constructed one restores the defaults.
void SetSplashEnvironment(SplashEnvironment environment);
