// An engine library that lacks the start and free exports, for the test of
// a broken installation.
#include "compat/win32/WinTypes.h"

extern "C" __attribute__((visibility("default"))) HWND WINAPI GetOWMainWindow() { return nullptr; }
