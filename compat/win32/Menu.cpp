// Menus as plain data: one process-wide table of menus behind handles.
#include "compat/win32/Menu.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/NoDestructor.h"

namespace {

// The item kinds and states a menu keeps; MF_BYPOSITION only steers the call.
constexpr UINT kItemFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR;

struct MenuItem {
  UINT flags = 0;
  UINT_PTR id = 0;  // for a pop-up the handle value of the pop-up, as Windows keeps it
  std::u16string text;

  bool IsPopup() const { return (flags & MF_POPUP) != 0; }
  HMENU Popup() const { return reinterpret_cast<HMENU>(id); }
};

struct Menu {
  std::vector<MenuItem> items;
};

// Handles are numbers that are never reused, so a stale handle stays invalid
// instead of reaching a newer menu.
class MenuTable {
 public:
  std::mutex lock;

  HMENU Add() {
    const UINT_PTR value = next_;
    next_ += 4;
    menus_.emplace(value, std::make_unique<Menu>());
    return reinterpret_cast<HMENU>(value);
  }

  Menu* Find(HMENU handle) {
    auto it = menus_.find(reinterpret_cast<UINT_PTR>(handle));
    return it == menus_.end() ? nullptr : it->second.get();
  }

  // A menu owns the pop-ups inside it: they go with it.
  void Destroy(HMENU handle) {
    auto it = menus_.find(reinterpret_cast<UINT_PTR>(handle));
    if (it == menus_.end()) return;
    std::unique_ptr<Menu> menu = std::move(it->second);
    menus_.erase(it);
    for (const MenuItem& item : menu->items) {
      if (item.IsPopup()) Destroy(item.Popup());
    }
  }

  // True when `inner` is `outer` or lies somewhere below it.
  bool Contains(HMENU outer, HMENU inner) {
    if (outer == inner) return true;
    Menu* menu = Find(outer);
    if (menu == nullptr) return false;
    for (const MenuItem& item : menu->items) {
      if (item.IsPopup() && Contains(item.Popup(), inner)) return true;
    }
    return false;
  }

 private:
  std::unordered_map<UINT_PTR, std::unique_ptr<Menu>> menus_;
  UINT_PTR next_ = 0x00010004;
};

// Never destroyed: the engine may still build or destroy menus while static
// objects are torn down at exit.
MenuTable& Table() {
  static compat::win32::NoDestructor<MenuTable> table;
  return *table;
}

// Where an item lives: the menu that holds it and its index there.
struct ItemPlace {
  HMENU handle = nullptr;
  Menu* menu = nullptr;
  std::size_t index = 0;

  MenuItem& Item() const { return menu->items[index]; }
};

// Looks an item up by command the way Windows does: depth first through the
// pop-ups, a plain item with the id winning over a pop-up whose handle
// happens to equal it.
ItemPlace FindByCommand(MenuTable& table, HMENU handle, Menu* menu, UINT id) {
  ItemPlace fallback;
  for (std::size_t i = 0; i < menu->items.size(); ++i) {
    const MenuItem& item = menu->items[i];
    if (item.IsPopup()) {
      if (Menu* sub = table.Find(item.Popup())) {
        ItemPlace found = FindByCommand(table, item.Popup(), sub, id);
        if (found.menu != nullptr) return found;
      }
      if (fallback.menu == nullptr && static_cast<UINT>(item.id) == id) fallback = {handle, menu, i};
    } else if (static_cast<UINT>(item.id) == id) {
      return {handle, menu, i};
    }
  }
  return fallback;
}

Menu* FindMenuOrFail(MenuTable& table, HMENU handle) {
  Menu* menu = table.Find(handle);
  if (menu == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return menu;
}

// Finds the item that `position` names under `flags`; on failure sets the
// last error and answers an empty place.
ItemPlace FindItem(MenuTable& table, HMENU handle, UINT position, UINT flags) {
  Menu* menu = FindMenuOrFail(table, handle);
  if (menu == nullptr) return {};
  ItemPlace place;
  if ((flags & MF_BYPOSITION) == 0) {
    place = FindByCommand(table, handle, menu, position);
  } else if (position < menu->items.size()) {
    place = {handle, menu, position};
  }
  if (place.menu == nullptr) SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
  return place;
}

// Checks the new item's flags and pop-up and builds it; false with the last
// error set when the item cannot go into `target`.
bool MakeItem(MenuTable& table, HMENU target, UINT flags, UINT_PTR id, LPCWSTR text, MenuItem* item) {
  flags &= ~static_cast<UINT>(MF_BYPOSITION);
  if ((flags & ~kItemFlags) != 0 || ((flags & MF_POPUP) != 0 && (flags & MF_SEPARATOR) != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((flags & MF_POPUP) != 0) {
    HMENU popup = reinterpret_cast<HMENU>(id);
    if (table.Find(popup) == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    // A menu inside itself would make destroying and searching endless.
    if (table.Contains(popup, target)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
  }
  // A string item without a string is a separator, as on Windows.
  if ((flags & (MF_POPUP | MF_SEPARATOR)) == 0 && text == nullptr) flags |= MF_SEPARATOR;
  item->flags = flags;
  item->id = (flags & MF_SEPARATOR) != 0 ? 0 : id;
  item->text = (flags & MF_SEPARATOR) != 0 || text == nullptr ? std::u16string() : std::u16string(text);
  return true;
}

}  // namespace

HMENU WINAPI CreateMenu() {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  return table.Add();
}

HMENU WINAPI CreatePopupMenu() { return CreateMenu(); }

BOOL WINAPI DestroyMenu(HMENU menu) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  if (FindMenuOrFail(table, menu) == nullptr) return FALSE;
  table.Destroy(menu);
  return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem) {
  return InsertMenuW(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, idNewItem, newItem);
}

BOOL WINAPI InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  // By position, a position past the end appends; by command, the new item
  // goes before the one found, in whichever pop-up holds it.
  ItemPlace place;
  if ((flags & MF_BYPOSITION) != 0) {
    Menu* target = FindMenuOrFail(table, menu);
    if (target == nullptr) return FALSE;
    place = {menu, target, std::min<std::size_t>(position, target->items.size())};
  } else {
    place = FindItem(table, menu, position, flags);
    if (place.menu == nullptr) return FALSE;
  }
  MenuItem item;
  if (!MakeItem(table, place.handle, flags, idNewItem, newItem, &item)) return FALSE;
  place.menu->items.insert(place.menu->items.begin() + static_cast<std::ptrdiff_t>(place.index), std::move(item));
  return TRUE;
}

int WINAPI GetMenuItemCount(HMENU menu) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  Menu* found = FindMenuOrFail(table, menu);
  return found == nullptr ? -1 : static_cast<int>(found->items.size());
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  ItemPlace place = FindItem(table, menu, static_cast<UINT>(position), MF_BYPOSITION);
  if (place.menu == nullptr || place.Item().IsPopup()) return static_cast<UINT>(-1);
  return static_cast<UINT>(place.Item().id);
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  ItemPlace place = FindItem(table, menu, static_cast<UINT>(position), MF_BYPOSITION);
  if (place.menu == nullptr || !place.Item().IsPopup()) return nullptr;
  return place.Item().Popup();
}

UINT WINAPI GetMenuState(HMENU menu, UINT id, UINT flags) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  ItemPlace place = FindItem(table, menu, id, flags);
  if (place.menu == nullptr) return static_cast<UINT>(-1);
  const MenuItem& item = place.Item();
  if (!item.IsPopup()) return item.flags;
  // For a pop-up the high byte counts its items, as Windows reports it.
  const Menu* sub = table.Find(item.Popup());
  const UINT count = sub == nullptr ? 0 : static_cast<UINT>(sub->items.size());
  return (count << 8) | (item.flags & 0xFF);
}

int WINAPI GetMenuStringW(HMENU menu, UINT id, LPWSTR text, int maxCount, UINT flags) {
  MenuTable& table = Table();
  std::lock_guard guard(table.lock);
  ItemPlace place = FindItem(table, menu, id, flags);
  if (place.menu == nullptr) return 0;
  const std::u16string& label = place.Item().text;
  // Without a buffer the caller asks for the length.
  if (text == nullptr || maxCount <= 0) return static_cast<int>(label.size());
  const std::size_t copied = std::min(label.size(), static_cast<std::size_t>(maxCount - 1));
  label.copy(text, copied);
  text[copied] = 0;
  return static_cast<int>(copied);
}
