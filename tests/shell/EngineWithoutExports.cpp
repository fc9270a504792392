// An engine library without the start and free exports (built with
// ENGINE_START_ONLY, without the free export), for a broken installation.
#include "compat/win32/WinTypes.h"

#define ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

ENGINE_EXPORT HWND WINAPI GetOWMainWindow() { return nullptr; }

#ifdef ENGINE_START_ONLY
ENGINE_EXPORT void WINAPI StartIgnis(void*, void** results) { *results = nullptr; }
#endif
