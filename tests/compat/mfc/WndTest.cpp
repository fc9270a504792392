#include "compat/mfc/Wnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compat/mfc/Backend.h"
#include "compat/win32/Module.h"
#include "compat/win32/Resource.h"
#include "tests/compat/win32/Win32Expect.h"

namespace {

using compat::mfc::RecordedWindowCalls;

// A window that notes the messages it handles.
class NotingWnd : public CWnd {
 public:
  explicit NotingWnd(std::vector<std::string>* notes) : m_notes(notes) {}
  int OnCreate(LPCREATESTRUCT create) override {
    m_notes->push_back("create " + std::to_string(create->cx) + "x" + std::to_string(create->cy));
    return m_refuse ? -1 : 0;
  }
  void OnPaint() override { m_notes->push_back("paint"); }
  void OnTimer(UINT_PTR id) override { m_notes->push_back("timer " + std::to_string(id)); }
  void PostNcDestroy() override { m_notes->push_back("gone"); }
  bool m_refuse = false;

 private:
  std::vector<std::string>* m_notes;
};

std::string Handle(HWND window) { return std::to_string(reinterpret_cast<std::uintptr_t>(window)); }

HBITMAP Picture() {
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(104), IMAGE_BITMAP, 0, 0, 0));
}

TEST(Wnd, CreatesMovesAndDestroysThroughTheBackend) {
  compat::mfc::UseRecordingBackend();
  std::vector<std::string> notes;
  {
    // An empty window is a window; deleting the object takes it along.
    NotingWnd empty(&notes);
    ASSERT_TRUE(empty.CreateEx(0, nullptr, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr));
    notes.clear();
  }
  ASSERT_EQ(RecordedWindowCalls().size(), 2u);
  EXPECT_EQ(RecordedWindowCalls()[1].rfind("destroy ", 0), 0u);
  compat::mfc::UseRecordingBackend();
  NotingWnd refused(&notes);
  refused.m_refuse = true;
  EXPECT_FALSE(refused.CreateEx(0, nullptr, nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  EXPECT_EQ(refused.m_hWnd, nullptr);
  NotingWnd notPopup(&notes);
  EXPECT_WIN32(notPopup.CreateEx(0, nullptr, nullptr, WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr), FALSE,
               ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(notPopup.CreateEx(0, nullptr, nullptr, WS_POPUP, 0, 0, -1, 10, nullptr, nullptr), FALSE,
               ERROR_INVALID_PARAMETER);

  NotingWnd window(&notes);
  ASSERT_TRUE(window.CreateEx(0, AfxRegisterWndClass(0, LoadCursorW(nullptr, IDC_ARROW)), nullptr,
                              WS_POPUP | WS_VISIBLE, 10, 20, 48, 32, nullptr, nullptr));
  const std::string id = Handle(window.m_hWnd);
  EXPECT_TRUE(window.SetWindowPos(nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  RECT rect{};
  EXPECT_TRUE(window.GetWindowRect(&rect));
  EXPECT_EQ(rect.left + rect.top * 1000 + rect.right * 1000000L, 5 + 6000 + 53000000L);
  EXPECT_EQ(rect.bottom, 38);
  window.SendMessage(WM_PAINT);
  window.SendMessage(WM_TIMER, 3);
  EXPECT_TRUE(window.DestroyWindow());
  EXPECT_WIN32(window.DestroyWindow(), FALSE, ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_WIN32(GetDC(reinterpret_cast<HWND>(std::stoul(id))), HDC{nullptr}, ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(notes, (std::vector<std::string>{"create 10x10", "gone", "create 48x32", "paint", "timer 3", "gone"}));
  // The refused window was made and destroyed again.
  ASSERT_EQ(RecordedWindowCalls().size(), 5u);
  EXPECT_EQ(RecordedWindowCalls()[0], "create 0,0 10x10");
  EXPECT_EQ(RecordedWindowCalls()[1].rfind("destroy ", 0), 0u);
  EXPECT_EQ(RecordedWindowCalls()[2], "create 10,20 48x32");
  EXPECT_EQ(RecordedWindowCalls()[3], "move " + id + " 5,6");
  EXPECT_EQ(RecordedWindowCalls()[4], "destroy " + id);
}

TEST(Wnd, CopiesAndBlendsBitmapsOntoWindowsAsTheDesktopDoes) {
  compat::mfc::UseRecordingBackend();
  std::vector<std::string> notes;
  NotingWnd window(&notes);
  ASSERT_TRUE(window.CreateEx(0, nullptr, nullptr, WS_POPUP, 0, 0, 48, 48, nullptr, nullptr));
  const HBITMAP bitmap = Picture();
  ASSERT_NE(bitmap, nullptr);
  BITMAP size{};
  EXPECT_EQ(GetObjectW(bitmap, sizeof size, &size), static_cast<int>(sizeof size));
  EXPECT_EQ(size.bmWidth * 1000 + size.bmHeight, 48048);
  EXPECT_EQ(GetObjectW(bitmap, 4, &size), 0);

  const HDC dc = GetDC(window.m_hWnd);
  const HDC memory = CreateCompatibleDC(dc);
  ASSERT_NE(memory, nullptr);
  // Nothing to draw from before a bitmap is selected.
  EXPECT_WIN32(BitBlt(dc, 0, 0, 4, 4, memory, 0, 0, SRCCOPY), FALSE, ERROR_INVALID_HANDLE);
  const HGDIOBJ stock = SelectObject(memory, bitmap);
  EXPECT_NE(stock, nullptr);
  EXPECT_WIN32(SelectObject(dc, bitmap), HGDIOBJ{nullptr}, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(SelectObject(memory, reinterpret_cast<HGDIOBJ>(0x1234)), HGDIOBJ{nullptr}, ERROR_INVALID_HANDLE);

  // AlphaBlend is looked up where programs look for it.
  const auto blend = reinterpret_cast<decltype(&AlphaBlend)>(
      GetProcAddress(LoadLibraryW(u"msimg32.dll"), "AlphaBlend"));
  ASSERT_EQ(blend, &AlphaBlend);
  EXPECT_TRUE(BitBlt(dc, 0, 0, 48, 48, memory, 0, 0, SRCCOPY));
  EXPECT_TRUE(blend(dc, 2, 3, 10, 20, memory, 4, 5, 10, 20, BLENDFUNCTION{AC_SRC_OVER, 0, 8, 0}));
  EXPECT_TRUE(blend(dc, 0, 0, 0, 0, memory, 0, 0, 0, 0, BLENDFUNCTION{AC_SRC_OVER, 0, 8, 0}));  // nothing drawn
  const std::string id = Handle(window.m_hWnd);
  EXPECT_EQ(RecordedWindowCalls().back(), "draw " + id + " 4,5 10x20 at 2,3 opacity 8");
  EXPECT_EQ(RecordedWindowCalls()[RecordedWindowCalls().size() - 2], "draw " + id + " 0,0 48x48 at 0,0 opacity 255");

  struct Refused {
    int x, y, w, h, srcW, srcH;
    BLENDFUNCTION blend;
  };
  const Refused refused[] = {
      {0, 0, 49, 48, 49, 48, {AC_SRC_OVER, 0, 128, 0}},           // wider than the bitmap
      {40, 0, 10, 10, 10, 10, {AC_SRC_OVER, 0, 128, 0}},          // runs off its right edge
      {0, 0, 10, 10, 20, 20, {AC_SRC_OVER, 0, 128, 0}},           // stretching
      {0, 0, 10, 10, 10, 10, {AC_SRC_OVER, 0, 128, AC_SRC_ALPHA}},  // per-pixel alpha
      {0, 0, 10, 10, 10, 10, {AC_SRC_OVER, 1, 128, 0}},           // flags
      {0, 0, -1, 10, -1, 10, {AC_SRC_OVER, 0, 128, 0}},
  };
  for (const Refused& r : refused) {
    EXPECT_WIN32(AlphaBlend(dc, 0, 0, r.w, r.h, memory, r.x, r.y, r.srcW, r.srcH, r.blend), FALSE,
                 ERROR_INVALID_PARAMETER);
  }
  EXPECT_WIN32(BitBlt(dc, 0, 0, 48, 48, memory, 0, 0, 0x00EE0086), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(BitBlt(dc, 0, 0, 48, 48, dc, 0, 0, SRCCOPY), FALSE, ERROR_INVALID_HANDLE);

  EXPECT_EQ(SelectObject(memory, stock), bitmap);
  EXPECT_WIN32(DeleteDC(dc), FALSE, ERROR_INVALID_HANDLE);  // a window's context is released, not deleted
  EXPECT_EQ(ReleaseDC(nullptr, dc), 0);
  EXPECT_EQ(ReleaseDC(window.m_hWnd, dc), 1);
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_WIN32(DeleteDC(memory), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_EQ(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(1))), nullptr);
}

}  // namespace
