// The shell's entries in the engine's main window and the three callbacks
// the engine calls on the main thread while it runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compat/mfc/CString.h"
#include "compat/win32/WinTypes.h"

class CKyrellApp;

// Loads the Internet library and prepares its information channel checker,
// just before the engine starts. Without the library there is no checker.
void InitInfoChannels(CKyrellApp& app);

// Opens the web page of a link key ("support", "translation", ...) in the
// user's browser; says "Could not launch browser" when that fails.
void OpenWebLink(const char* link);

// Whether the problem report entry is the beta report's: the full version
// text contains "beta" or "alpha".
bool ReportEntryIsBeta(const CString& fullVersion);

// Every byte outside RFC 3986's unreserved characters (letters, digits,
// "-", ".", "_", "~") as "%XX" with upper-case digits: "de-AT" stays,
// "pt-BR (Brasil)" becomes "pt-BR%20%28Brasil%29", "é" in UTF-8 "%C3%A9".
std::string EscapeForUrl(std::string_view text);
// "syslang=" and the system language name in UTF-8 (the ANSI code page when
// the name is not valid UTF-16), escaped for a URL.
std::string SystemLanguageParameter(const CString& systemLanguage);

extern "C" {
void WINAPI ShellMenuBuild(HMENU menuBar);
std::uint32_t WINAPI ShellMenuCommand(std::uint32_t command, std::uint32_t unused);
void WINAPI ShellIdle(std::uint32_t unused);
}
