// The splash window shown while the program starts.
#pragma once

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
