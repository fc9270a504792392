// Menus as plain data: the program builds them with the Win32 calls and
// whoever shows the window (the engine) renders them. No display is needed.
#pragma once

#include "compat/win32/Error.h"
#include "compat/win32/WinTypes.h"

#define MF_STRING 0x00000000
#define MF_BYCOMMAND 0x00000000
#define MF_ENABLED 0x00000000
#define MF_GRAYED 0x00000001
#define MF_DISABLED 0x00000002
#define MF_CHECKED 0x00000008
#define MF_POPUP 0x00000010
#define MF_BYPOSITION 0x00000400
#define MF_SEPARATOR 0x00000800

HMENU WINAPI CreateMenu();
HMENU WINAPI CreatePopupMenu();
BOOL WINAPI DestroyMenu(HMENU menu);
// With MF_POPUP the id is the HMENU of the pop-up, which the menu then owns.
BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem);
// position -1 (or past the end) with MF_BYPOSITION appends.
BOOL WINAPI InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem);
int WINAPI GetMenuItemCount(HMENU menu);
// -1 for a pop-up or a missing item; 0 for a separator.
UINT WINAPI GetMenuItemID(HMENU menu, int position);
HMENU WINAPI GetSubMenu(HMENU menu, int position);
UINT WINAPI GetMenuState(HMENU menu, UINT id, UINT flags);
int WINAPI GetMenuStringW(HMENU menu, UINT id, LPWSTR text, int maxCount, UINT flags);
