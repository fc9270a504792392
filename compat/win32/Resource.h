// Resources built into a module (icons, bitmaps, cursors) and the system
// metrics that size them. Resources come from the module's table made by the
// build (cmake/Resources.cmake); several images of one icon are its sizes.
#pragma once

#include "compat/win32/WinTypes.h"

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_DEFAULTSIZE 0x00000040
#define LR_SHARED 0x00008000

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CXSMICON 49
#define SM_CYSMICON 50

// Finds resource `name` (MAKEINTRESOURCEW(n)) of `type` in `instance`; for an
// icon the image nearest the asked size. LR_SHARED hands out one handle per
// image for the life of the process (DestroyIcon does nothing on it).
HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
BOOL WINAPI DestroyIcon(HICON icon);
// Frees a bitmap LoadImageW gave without LR_SHARED (Windows takes any GDI object).
BOOL WINAPI DeleteObject(HANDLE object);
int WINAPI GetSystemMetrics(int index);

namespace compat::win32 {
// What an icon or bitmap handle holds, for whoever draws it: the encoded
// image (PNG) and its size in pixels. False for a handle that is not one.
// Where SM_CXSCREEN and SM_CYSCREEN come from when a display is there (the
// framework's window system sets it); without one, or when it answers false,
// $COMPAT_SCREEN_SIZE ("1280x1024") or else 1024 by 768.
using ScreenSizeSource = bool (*)(int* width, int* height);
void SetScreenSizeSource(ScreenSizeSource source);
bool ImageOfHandle(HANDLE image, const unsigned char** bytes, std::size_t* size, int* width,
                   int* height);
}  // namespace compat::win32
