// Building and reading the engine's menu bar.
#include "peers/orbcore/EngineMenu.h"

#include "compat/win32/Message.h"
#include "compat/win32/StringConv.h"

namespace orbcore {

bool IsEngineOption(std::uint32_t id) { return id == kCommandEjectAfterWriting || id == kCommandVerifyWrittenData; }

bool IsEngineCommand(std::uint32_t id) {
  return IsEngineOption(id) || id == kCommandAbout || id == kCommandExit || id == kCommandHelpTopics;
}

bool ShellAskedToQuit() { return compat::win32::TakeQuitMessage(nullptr); }

HMENU CreateEngineMenuBar(std::string_view productName, const EngineTexts& texts) {
  using compat::win32::Utf8ToUtf16;
  const auto text = [&](const std::string& key, std::string_view english) { return Utf8ToUtf16(texts.Get(key, english)); };
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kCommandExit, text("Orbcore.Menu.Exit", "E&xit").c_str());

  HMENU options = CreatePopupMenu();
  AppendMenuW(options, MF_STRING | MF_CHECKED, kCommandEjectAfterWriting,
              text("Orbcore.Menu.Eject", "&Eject Disc After Writing").c_str());
  AppendMenuW(options, MF_STRING, kCommandVerifyWrittenData, text("Orbcore.Menu.Verify", "&Verify Written Data").c_str());

  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, kCommandHelpTopics, text("Orbcore.Menu.HelpTopics", "&Help Topics").c_str());
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  // Without a product name the name and the blank before it go.
  std::u16string about = text("Orbcore.Menu.About", "&About %APPNAME%...");
  if (const std::size_t at = about.find(u"%APPNAME%"); at != std::u16string::npos) {
    const bool blankBefore = productName.empty() && at > 0 && about[at - 1] == u' ';
    about.replace(at - (blankBefore ? 1 : 0), 9 + (blankBefore ? 1 : 0), Utf8ToUtf16(productName));
  }
  AppendMenuW(help, MF_STRING, kCommandAbout, about.c_str());

  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), text("Orbcore.Menu.File", "&File").c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), text("Orbcore.Menu.Options", "&Options").c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), text("Orbcore.Menu.Help", "&Help").c_str());
  return bar;
}

std::vector<MenuEntry> ReadMenu(HMENU menu) {
  std::vector<MenuEntry> entries;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const UINT position = static_cast<UINT>(i);
    MenuEntry entry;
    const UINT state = GetMenuState(menu, position, MF_BYPOSITION);
    std::vector<char16_t> text(static_cast<std::size_t>(GetMenuStringW(menu, position, nullptr, 0, MF_BYPOSITION)) + 1);
    const int length = GetMenuStringW(menu, position, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
    entry.text = compat::win32::Utf16ToUtf8(std::u16string_view(text.data(), static_cast<std::size_t>(length)));
    if (HMENU sub = GetSubMenu(menu, i)) {
      entry.flags = state & 0xFF;  // the high byte counts the pop-up's items
      entry.popup = ReadMenu(sub);
    } else {
      entry.flags = state;
      entry.id = GetMenuItemID(menu, i);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

JsonValue MenuToJson(const std::vector<MenuEntry>& entries) {
  JsonValue list = JsonValue::Array();
  for (const MenuEntry& entry : entries) {
    JsonValue item = JsonValue::Object();
    item.Set("text", entry.text);
    item.Set("id", entry.IsPopup() ? JsonValue() : JsonValue(entry.id));
    item.Set("flags", entry.flags);
    if (entry.IsPopup()) item.Set("popup", MenuToJson(entry.popup));
    list.Push(std::move(item));
  }
  return list;
}

}  // namespace orbcore
