// The splash window. The picture and its window are not part of this build:
// start-up allows and asks for the splash as it would, and nothing is shown.
#include "shell/Splash.h"

void EnableSplash(bool /*enable*/) {}

void ShowSplash(bool /*fade*/, unsigned /*minimumTime*/, unsigned /*frameDelay*/, CWnd* /*parent*/) {}

bool PreTranslateAppMessage(MSG* /*msg*/) { return false; }
