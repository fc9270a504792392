// The engine's main menu bar: its own commands, the bar it builds before the
// shell adds its entries, and a read-back of any menu as plain data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compat/win32/Menu.h"
#include "peers/orbcore/EngineTexts.h"
#include "peers/orbcore/Json.h"

namespace orbcore {

// The engine's own commands; every other command goes to the shell.
enum : std::uint32_t {
  kCommandEjectAfterWriting = 33010,
  kCommandVerifyWrittenData = 33011,
  kCommandAbout = 57664,
  kCommandExit = 57665,
  kCommandHelpTopics = 57667,
};

bool IsEngineCommand(std::uint32_t id);
// True once the shell posted its quit message from a callback (an update
// that must end the program, a channel check that asks to); takes it, so
// the main window closes once.
bool ShellAskedToQuit();
// Options the user switches on and off from the menu.
bool IsEngineOption(std::uint32_t id);

// "&File" (Exit), "&Options" (the engine's options), "&Help" (Help Topics,
// About): the shell appends to the second menu and inserts its own at 2.
HMENU CreateEngineMenuBar(std::string_view productName, const EngineTexts& texts);

struct MenuEntry {
  std::string text;  // UTF-8, with the "&" mnemonics as written
  std::uint32_t id = 0;     // 0 for separators and pop-ups
  std::uint32_t flags = 0;  // MF_ flags of the item
  std::vector<MenuEntry> popup;

  bool IsPopup() const { return (flags & MF_POPUP) != 0; }
  bool IsSeparator() const { return (flags & MF_SEPARATOR) != 0; }
};

// The items of `menu`, pop-ups with their items, through the menu calls.
std::vector<MenuEntry> ReadMenu(HMENU menu);
// [{"text":..,"id":..,"flags":..,"popup":[..]}, ...]; a pop-up's id is null.
JsonValue MenuToJson(const std::vector<MenuEntry>& entries);

}  // namespace orbcore
