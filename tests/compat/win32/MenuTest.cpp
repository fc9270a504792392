// The menu calls: return values, last-error codes and what the out-buffers hold afterwards.
#include "compat/win32/Menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/compat/win32/Win32Expect.h"

namespace {

constexpr UINT kFailed = static_cast<UINT>(-1);

std::u16string TextOf(HMENU menu, UINT id, UINT flags) {
  char16_t buffer[64];
  const int n = GetMenuStringW(menu, id, buffer, 64, flags);
  return std::u16string(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

// A bar like the engine's: File, Options, Help, with items in each.
struct Bar {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  HMENU options = CreatePopupMenu();
  HMENU help = CreatePopupMenu();

  Bar() {
    AppendMenuW(file, MF_STRING, 100, u"&Open");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, 101, u"E&xit");
    AppendMenuW(options, MF_STRING | MF_CHECKED, 200, u"&Verify");
    AppendMenuW(help, MF_STRING | MF_GRAYED, 300, u"&About");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), u"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), u"&Options");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), u"&Help");
  }
  ~Bar() { DestroyMenu(bar); }
};

TEST(MenuTest, ItemsKeepOrderIdsTextsAndStates) {
  Bar m;
  ASSERT_EQ(GetMenuItemCount(m.bar), 3);
  EXPECT_EQ(TextOf(m.bar, 1, MF_BYPOSITION), u"&Options");
  // Items by position: 0 for a separator, -1 for a pop-up.
  EXPECT_EQ(GetMenuItemID(m.file, 1), 0u);
  EXPECT_EQ(GetMenuItemID(m.bar, 0), kFailed);
  EXPECT_EQ(GetSubMenu(m.file, 0), nullptr);
  EXPECT_EQ(GetMenuState(m.file, 0, MF_BYPOSITION), static_cast<UINT>(MF_STRING));
  // By command the search goes down into the pop-ups.
  EXPECT_EQ(GetMenuState(m.bar, 200, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(GetMenuState(m.bar, 300, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(TextOf(m.bar, 101, MF_BYCOMMAND), u"E&xit");
  // A pop-up reports its item count in the high byte.
  EXPECT_EQ(GetMenuState(m.bar, 0, MF_BYPOSITION), (3u << 8) | MF_POPUP);
}

TEST(MenuTest, InsertByPositionAndByCommand) {
  Bar m;
  // The shell's way: a new pop-up at position 2 of the bar, before Help.
  HMENU internet = CreatePopupMenu();
  ASSERT_TRUE(InsertMenuW(m.bar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(internet), u"Internet"));
  EXPECT_EQ(GetSubMenu(m.bar, 2), internet);
  EXPECT_EQ(GetSubMenu(m.bar, 3), m.help);
  // -1 and any position past the end append.
  ASSERT_TRUE(InsertMenuW(m.options, static_cast<UINT>(-1), MF_BYPOSITION, 201, u"last"));
  ASSERT_TRUE(InsertMenuW(m.options, 99, MF_BYPOSITION, 202, u"after last"));
  EXPECT_EQ(GetMenuItemID(m.options, 1), 201u);
  EXPECT_EQ(GetMenuItemID(m.options, 2), 202u);
  // By command the item goes before the one found, inside its pop-up.
  ASSERT_TRUE(InsertMenuW(m.bar, 101, MF_BYCOMMAND, 150, u"&Save"));
  EXPECT_EQ(GetMenuItemCount(m.bar), 4);
  ASSERT_EQ(GetMenuItemCount(m.file), 4);
  EXPECT_EQ(GetMenuItemID(m.file, 2), 150u);
  EXPECT_EQ(GetMenuItemID(m.file, 3), 101u);
  EXPECT_WIN32(InsertMenuW(m.bar, 999, MF_BYCOMMAND, 151, u"nowhere"), FALSE, ERROR_MENU_ITEM_NOT_FOUND);
}

TEST(MenuTest, StringBufferContract) {
  Bar m;
  char16_t buffer[4] = {u'\xcccc', u'\xcccc', u'\xcccc', u'\xcccc'};
  // Without a buffer, or with no room, the answer is the length.
  EXPECT_EQ(GetMenuStringW(m.file, 101, nullptr, 0, MF_BYCOMMAND), 5);
  EXPECT_EQ(GetMenuStringW(m.file, 101, buffer, 0, MF_BYCOMMAND), 5);
  EXPECT_EQ(buffer[0], u'\xcccc');
  // A short buffer truncates and still terminates.
  EXPECT_EQ(GetMenuStringW(m.file, 101, buffer, 3, MF_BYCOMMAND), 2);
  EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"E&\0\xcccc", 4));
  // A string item without a string becomes a separator; a separator keeps no text.
  ASSERT_TRUE(AppendMenuW(m.help, MF_STRING, 301, nullptr));
  EXPECT_EQ(GetMenuItemID(m.help, 1), 0u);
  EXPECT_EQ(GetMenuState(m.help, 1, MF_BYPOSITION), static_cast<UINT>(MF_SEPARATOR));
  ASSERT_TRUE(AppendMenuW(m.help, MF_SEPARATOR, 302, u"ignored"));
  EXPECT_EQ(GetMenuItemID(m.help, 2), 0u);
  EXPECT_EQ(TextOf(m.help, 2, MF_BYPOSITION), u"");
}

TEST(MenuTest, MissingItemsAndBadHandlesFailWithTheirCodes) {
  Bar m;
  HMENU stale = CreateMenu();
  ASSERT_TRUE(DestroyMenu(stale));
  const auto popup = [](HMENU menu) { return reinterpret_cast<UINT_PTR>(menu); };
  EXPECT_WIN32(GetMenuItemCount(stale), -1, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(DestroyMenu(stale), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(AppendMenuW(nullptr, MF_STRING, 1, u"x"), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(GetMenuStringW(stale, 0, nullptr, 0, MF_BYPOSITION), 0, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(AppendMenuW(m.bar, MF_POPUP, popup(stale), u"x"), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(GetMenuItemID(m.file, 3), kFailed, ERROR_MENU_ITEM_NOT_FOUND);
  EXPECT_WIN32(GetMenuItemID(m.file, -2), kFailed, ERROR_MENU_ITEM_NOT_FOUND);
  EXPECT_WIN32(GetSubMenu(m.bar, 3), nullptr, ERROR_MENU_ITEM_NOT_FOUND);
  EXPECT_WIN32(GetMenuState(m.bar, 4242, MF_BYCOMMAND), kFailed, ERROR_MENU_ITEM_NOT_FOUND);
  // A menu may not end up inside itself, nor hold an item of a kind it does not know.
  EXPECT_WIN32(AppendMenuW(m.file, MF_POPUP, popup(m.bar), u"x"), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(AppendMenuW(m.file, MF_POPUP, popup(m.file), u"x"), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(AppendMenuW(m.file, 0x4 /* MF_BITMAP */, 1, u"x"), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetMenuItemCount(m.file), 3);  // failed calls changed nothing
}

TEST(MenuTest, DestroyTakesOwnedPopupsAlong) {
  Bar m;
  HMENU inner = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuW(inner, MF_STRING, 1, u"deep"));
  ASSERT_TRUE(AppendMenuW(m.options, MF_POPUP, reinterpret_cast<UINT_PTR>(inner), u"inner"));
  EXPECT_EQ(GetMenuState(m.bar, 1, MF_BYCOMMAND), static_cast<UINT>(MF_STRING));
  // A pop-up destroyed on its own leaves an item that searches and destroying pass over.
  ASSERT_TRUE(DestroyMenu(m.help));
  HMENU holder = CreateMenu();
  EXPECT_TRUE(AppendMenuW(holder, MF_POPUP, reinterpret_cast<UINT_PTR>(m.bar), u"bar"));
  ASSERT_TRUE(DestroyMenu(holder));
  for (HMENU gone : {m.bar, m.options, inner}) EXPECT_WIN32(GetMenuItemCount(gone), -1, ERROR_INVALID_HANDLE);
  // A new menu never gets the handle of a destroyed one.
  HMENU fresh = CreateMenu();
  for (HMENU gone : {m.bar, m.options, inner}) EXPECT_NE(fresh, gone);
  DestroyMenu(fresh);
}

// The menu table outlives exit handlers registered before it existed.
TEST(MenuTest, MenusStillAnswerWhileTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit([] {
          const HMENU menu = CreatePopupMenu();
          const bool answered = AppendMenuW(menu, MF_STRING, 1, u"late") && GetMenuItemCount(menu) == 1 &&
                                DestroyMenu(menu);
          std::fputs(answered ? "menus answered" : "menus failed", stderr);
        });
        DestroyMenu(CreateMenu());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "menus answered");
}

}  // namespace
