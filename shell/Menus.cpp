// The menu and idle callbacks. The Internet library that the shell's menu
// entries, links and channel checks go through is not part of this build:
// the engine gets the callbacks, the build adds no entries and the commands
// and idle calls find nothing to do.
#include "shell/Menus.h"

void InitInfoChannels(CKyrellApp& /*app*/) {}

extern "C" {

void WINAPI ShellMenuBuild(HMENU /*menuBar*/) {}

std::uint32_t WINAPI ShellMenuCommand(std::uint32_t /*command*/, std::uint32_t /*unused*/) {
  return 0;
}

void WINAPI ShellIdle(std::uint32_t /*unused*/) {}

}  // extern "C"
