// Windows of the framework and the drawing calls over the backend.
//
// Device contexts and windows are entries of one table of the framework's:
// a window context draws through the backend onto its window, a memory
// context holds the bitmap selected into it (an image of the resource
// table, see compat/win32/Resource.h). "msimg32.dll" is provided here, with
// AlphaBlend as its export, so that a program looks it up as on the desktop.
#include "compat/mfc/Wnd.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "compat/mfc/Backend.h"
#include "compat/win32/Error.h"
#include "compat/win32/Module.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/Resource.h"
#include "compat/win32/Time.h"

namespace {

struct DeviceContext {
  HWND window = nullptr;           // a window's context
  HGDIOBJ selected = nullptr;      // a memory context's bitmap
  bool memory = false;
};

// The stock 1-by-1 bitmap every memory context starts with.
const HGDIOBJ kStockBitmap = reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(0x3F000001));
const HCURSOR kArrowCursor = reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x3F000002));

struct GdiTable {
  std::mutex lock;
  std::unordered_map<HDC, DeviceContext> contexts;
  std::unordered_map<HWND, CWnd*> windows;
  std::unordered_set<std::u16string> classes;
  std::uintptr_t next = 0x3F001000;
};

GdiTable& Gdi() {
  static compat::win32::NoDestructor<GdiTable> table;
  return *table;
}

template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

// The picture a memory context holds, when it holds one.
struct Picture {
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  int width = 0;
  int height = 0;
};

bool ContextOf(HDC dc, DeviceContext* out) {
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto found = table.contexts.find(dc);
  if (found == table.contexts.end()) return false;
  *out = found->second;
  return true;
}

bool PictureOf(const DeviceContext& context, Picture* picture) {
  return context.memory && context.selected != kStockBitmap &&
         compat::win32::ImageOfHandle(context.selected, &picture->bytes, &picture->size, &picture->width,
                                      &picture->height);
}

// Lays the source rectangle onto the target window: the checks both calls share.
BOOL Transfer(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, BYTE opacity) {
  DeviceContext to;
  DeviceContext from;
  if (!ContextOf(target, &to) || !ContextOf(source, &from)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  Picture picture;
  if (!PictureOf(from, &picture)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (cx < 0 || cy < 0 || x1 < 0 || y1 < 0 || x1 + cx > picture.width || y1 + cy > picture.height) {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  // Drawing into a memory context keeps nothing here: only windows are seen.
  if (to.memory || cx == 0 || cy == 0) return TRUE;
  if (!compat::mfc::CurrentBackend().DrawPicture(reinterpret_cast<std::uintptr_t>(to.window), picture.bytes,
                                                  picture.size, x1, y1, x, y, cx, cy, opacity)) {
    return Fail(ERROR_INVALID_DATA, FALSE);
  }
  return TRUE;
}

CWnd* WindowOf(HWND window) {
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto found = table.windows.find(window);
  return found == table.windows.end() ? nullptr : found->second;
}

// A key or click on a window goes to the application's message filter first,
// as the framework's message pump does before dispatching it.
void Input(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{reinterpret_cast<HWND>(window), message, wParam, lParam, GetTickCount(), {0, 0}};
  if (CWinApp* app = AfxGetApp()) app->PreTranslateMessage(&msg);
}

const compat::win32::ProvidedExport kMsimg32[] = {
    {"AlphaBlend", reinterpret_cast<FARPROC>(&AlphaBlend)},
    {nullptr, nullptr},
};

// Programs find the blending call where they look for it on the desktop.
[[maybe_unused]] const bool kProvided = [] {
  compat::win32::ProvideModule(u"msimg32.dll", kMsimg32);
  return true;
}();

}  // namespace

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR cursorName) {
  if (instance == nullptr && cursorName == IDC_ARROW) return kArrowCursor;
  return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HCURSOR{nullptr});
}

HDC WINAPI GetDC(HWND window) {
  if (window != nullptr && WindowOf(window) == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, HDC{nullptr});
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto dc = reinterpret_cast<HDC>(table.next += 4);
  table.contexts.emplace(dc, DeviceContext{window, nullptr, false});
  return dc;
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto found = table.contexts.find(dc);
  if (found == table.contexts.end() || found->second.memory || found->second.window != window) return 0;
  table.contexts.erase(found);
  return 1;
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
  DeviceContext like;
  if (dc != nullptr && !ContextOf(dc, &like)) return Fail(ERROR_INVALID_HANDLE, HDC{nullptr});
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto memory = reinterpret_cast<HDC>(table.next += 4);
  table.contexts.emplace(memory, DeviceContext{nullptr, kStockBitmap, true});
  return memory;
}

BOOL WINAPI DeleteDC(HDC dc) {
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto found = table.contexts.find(dc);
  if (found == table.contexts.end() || !found->second.memory) return Fail(ERROR_INVALID_HANDLE, FALSE);
  table.contexts.erase(found);
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  const bool bitmap = object == kStockBitmap || compat::win32::ImageOfHandle(object, nullptr, nullptr, nullptr, nullptr);
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  const auto found = table.contexts.find(dc);
  if (found == table.contexts.end() || !found->second.memory || !bitmap) {
    return Fail(ERROR_INVALID_HANDLE, HGDIOBJ{nullptr});
  }
  const HGDIOBJ previous = found->second.selected;
  found->second.selected = object;
  return previous;
}

int WINAPI GetObjectW(HANDLE object, int size, void* buffer) {
  int width = 0;
  int height = 0;
  if (!compat::win32::ImageOfHandle(object, nullptr, nullptr, &width, &height)) return 0;
  if (buffer == nullptr) return static_cast<int>(sizeof(BITMAP));
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  // The picture as a 32-bit top-down bitmap whose bits are not at hand.
  *static_cast<BITMAP*>(buffer) = BITMAP{0, width, height, width * 4, 1, 32, nullptr};
  return static_cast<int>(sizeof(BITMAP));
}

BOOL WINAPI BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, DWORD rop) {
  if (rop != SRCCOPY) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Transfer(target, x, y, cx, cy, source, x1, y1, 255);
}

BOOL WINAPI AlphaBlend(HDC target, int xDest, int yDest, int wDest, int hDest, HDC source, int xSrc, int ySrc,
                       int wSrc, int hSrc, BLENDFUNCTION blend) {
  if (blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 || blend.AlphaFormat != 0 || wDest != wSrc ||
      hDest != hSrc) {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  return Transfer(target, xDest, yDest, wDest, hDest, source, xSrc, ySrc, blend.SourceConstantAlpha);
}

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HANDLE background, HICON icon) {
  // The framework's spelling: "Afx:" and the properties in hexadecimal.
  std::string name = "Afx:" + std::to_string(classStyle);
  for (const void* handle : {static_cast<const void*>(cursor), static_cast<const void*>(background),
                             static_cast<const void*>(icon)}) {
    name += ":" + std::to_string(reinterpret_cast<std::uintptr_t>(handle));
  }
  GdiTable& table = Gdi();
  std::lock_guard guard(table.lock);
  return table.classes.emplace(name.begin(), name.end()).first->c_str();
}

CWnd::~CWnd() {
  // An object deleted with its window still there takes the window along.
  if (m_hWnd != nullptr) {
    GdiTable& table = Gdi();
    {
      std::lock_guard guard(table.lock);
      table.windows.erase(m_hWnd);
    }
    compat::mfc::CurrentBackend().DestroyPopup(reinterpret_cast<std::uintptr_t>(m_hWnd));
  }
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU menu, void* param) {
  if (m_hWnd != nullptr || width < 0 || height < 0 || (style & WS_POPUP) == 0) {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  const std::uintptr_t window = compat::mfc::CurrentBackend().CreatePopup(x, y, width, height, Input);
  if (window == 0) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  m_hWnd = reinterpret_cast<HWND>(window);
  m_rect = RECT{x, y, x + width, y + height};
  {
    GdiTable& table = Gdi();
    std::lock_guard guard(table.lock);
    table.windows[m_hWnd] = this;
  }
  CREATESTRUCTW create{param, AfxGetInstanceHandle(), menu, parent, height, width, y, x,
                       static_cast<LONG>(style), windowName, className, exStyle};
  if (OnCreate(&create) == -1) {
    DestroyWindow();
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  OnDestroy();
  const HWND window = m_hWnd;
  {
    GdiTable& table = Gdi();
    std::lock_guard guard(table.lock);
    table.windows.erase(window);
  }
  m_hWnd = nullptr;
  compat::mfc::CurrentBackend().DestroyPopup(reinterpret_cast<std::uintptr_t>(window));
  PostNcDestroy();  // may delete this
  return TRUE;
}

BOOL CWnd::SetWindowPos(const CWnd* /*insertAfter*/, int x, int y, int cx, int cy, UINT flags) {
  if (m_hWnd == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  const LONG width = (flags & SWP_NOSIZE) != 0 ? m_rect.right - m_rect.left : cx;
  const LONG height = (flags & SWP_NOSIZE) != 0 ? m_rect.bottom - m_rect.top : cy;
  m_rect = RECT{x, y, x + width, y + height};
  compat::mfc::CurrentBackend().MovePopup(reinterpret_cast<std::uintptr_t>(m_hWnd), x, y);
  return TRUE;
}

BOOL CWnd::GetWindowRect(RECT* rect) const {
  if (m_hWnd == nullptr || rect == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  *rect = m_rect;
  return TRUE;
}

void CWnd::UpdateWindow() {
  if (m_hWnd != nullptr) compat::mfc::CurrentBackend().ProcessPending();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
    case WM_PAINT: OnPaint(); return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    default: return 0;
  }
}

int CWnd::OnCreate(LPCREATESTRUCT /*createStruct*/) { return 0; }
