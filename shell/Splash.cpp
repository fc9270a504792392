// The splash window. The picture and its window are not part of this build:
// the splash is allowed and asked for as the start-up does, and shows nothing.
#include "shell/Splash.h"

namespace {
bool& SplashAllowed() {
  static bool allowed = false;
  return allowed;
}
}  // namespace

void EnableSplash(bool enable) { SplashAllowed() = enable; }

void ShowSplash(bool /*fade*/, unsigned /*minimumTime*/, unsigned /*frameDelay*/, CWnd* /*parent*/) {
  if (!SplashAllowed()) return;
}

bool PreTranslateAppMessage(MSG* /*msg*/) { return false; }
