// Windows of the framework (CWnd) and the drawing calls that paint them: device
// contexts, bitmaps selected into memory contexts, BitBlt and AlphaBlend.
// A window lives in the user-interface backend: on the screen under wx,
// nowhere on the console, in the record under the recording backend.
#pragma once

#include "compat/mfc/WinApp.h"
#include "compat/win32/Message.h"
#include "compat/win32/WinTypes.h"

using HGDIOBJ = HANDLE;

#define WS_VISIBLE 0x10000000L

#define WM_PAINT 0x000F
#define WM_NCLBUTTONDOWN 0x00A1
#define WM_NCRBUTTONDOWN 0x00A4
#define WM_NCMBUTTONDOWN 0x00A7
#define WM_KEYDOWN 0x0100
#define WM_SYSKEYDOWN 0x0104
#define WM_LBUTTONDOWN 0x0201
#define WM_RBUTTONDOWN 0x0204
#define WM_MBUTTONDOWN 0x0207

#define SWP_NOSIZE 0x0001
#define SWP_NOZORDER 0x0004

#define SRCCOPY 0x00CC0020
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01
#define IDC_ARROW (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32512)))

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

using LPCREATESTRUCT = CREATESTRUCTW*;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

struct BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
};

// The system's arrow cursor for a null instance; other cursors are not kept.
HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR cursorName);
// The device context of a window's client area, to be given back with ReleaseDC.
HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);
// A memory context, drawing onto the bitmap selected into it; DeleteDC ends it.
HDC WINAPI CreateCompatibleDC(HDC dc);
BOOL WINAPI DeleteDC(HDC dc);
// Selects a bitmap into a memory context and answers the one it held (a
// memory context starts with a 1-by-1 stock bitmap); null when either handle
// is not one.
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// Fills a BITMAP for a bitmap handle; the number of bytes written, 0 on failure.
int WINAPI GetObjectW(HANDLE object, int size, void* buffer);
// Copies a rectangle of the source context's bitmap onto the target. Only
// SRCCOPY is known, and the source must be a memory context with a bitmap.
BOOL WINAPI BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, DWORD rop);
// Lays a source rectangle over the target with a constant opacity. The
// rectangles must have one size (no stretching here) and the source one must
// lie within the source bitmap; per-pixel alpha (AC_SRC_ALPHA) is not known.
BOOL WINAPI AlphaBlend(HDC target, int xDest, int yDest, int wDest, int hDest, HDC source, int xSrc, int ySrc,
                       int wSrc, int hSrc, BLENDFUNCTION blend);

// The name of a window class with these properties; the framework keeps it.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HANDLE background = nullptr,
                            HICON icon = nullptr);

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Creates the window (pop-up styles only), sends it WM_CREATE, and shows it
  // when WS_VISIBLE is set. FALSE when the backend has no window to give or
  // OnCreate answered -1.
  BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                int height, HWND parent, HMENU menu, void* param = nullptr);
  // Destroys the window; PostNcDestroy comes last, and may delete the object.
  BOOL DestroyWindow();
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  BOOL GetWindowRect(RECT* rect) const;
  void UpdateWindow();
  // Delivers a message to the window's handlers at once.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  HWND GetSafeHwnd() const { return m_hWnd; }

  HWND m_hWnd = nullptr;

 protected:
  virtual int OnCreate(LPCREATESTRUCT createStruct);
  virtual void OnPaint() {}
  virtual void OnTimer(UINT_PTR /*idEvent*/) {}
  virtual void OnDestroy() {}
  virtual void PostNcDestroy() {}

 private:
  RECT m_rect{};
};
