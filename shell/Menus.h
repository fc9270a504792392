// The shell's entries in the engine's main window and the three callbacks
// the engine calls on the main thread while it runs.
#pragma once

#include <cstdint>

#include "compat/win32/WinTypes.h"

class CKyrellApp;

// Prepares the information channel checker just before the engine starts.
void InitInfoChannels(CKyrellApp& app);

extern "C" {
void WINAPI ShellMenuBuild(HMENU menuBar);
std::uint32_t WINAPI ShellMenuCommand(std::uint32_t command, std::uint32_t unused);
void WINAPI ShellIdle(std::uint32_t unused);
}
