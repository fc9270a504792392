// The Internet library's exports, as the shell looks them up by name in
// "kvn_inet.dll" (libkvn_inet.so). Every text is ANSI (the process's
// multibyte encoding); handles are the library's own objects.
//
//   kinet_Init();
//   KinetHandle checker = kinet_InfoCheckCreate();
//   kinet_InfoCheckSetUserRegistryKey(checker, HKEY_CURRENT_USER, "SOFTWARE\\...\\kvn_inet");
//   if (kinet_InfoCheckStartAllAuto(checker) == -1) PostQuitMessage(0);
//
// State lives below the key each object is handed, read from the user's
// root first, then the machine's; the library writes to the user's root:
//
//   "UpdateFeed", "ChannelFeed"   REG_SZ: the local feed files the checks read
//   "ConfigureChannels"           REG_DWORD: 0 hides channel configuration
//   "ChannelInterval"             REG_DWORD: seconds between automatic channel
//                                 checks (default one day)
//   InfoCheck\ "Product", "Version", "Edition", "Language", "Enabled",
//              "LastCheck" (seconds since 1970)
//   Update\    "Product", "Version", "Edition", "Language", "Flags",
//              "LastCheck", "LastResult"
//
// Under a display the library's messages and questions are wx dialogs
// (libkvn_inet_wx.so); without one they go to standard error, and a
// question leaves things as they are.
//
// A feed is a small text file of "name=value" lines: "version" (the newest
// version), "upgrade" (an upgrade on offer), "message" (text for the user) and
// "end=1" (the program must end once the user has seen the result). Nothing
// goes over the network.
//
// With $KVN_INET_TRACE naming a file, every call appends one line to it:
// the export's name and its arguments, so tests see what the shell asked.
#pragma once

#include <cstdint>

#include "compat/win32/WinTypes.h"

#define KVN_INET_API extern "C" __attribute__((visibility("default")))

using KinetHandle = void*;
using KinetWindowProc = HWND(WINAPI*)();

// Answers of kinet_UpdateManagerDoModalCheck.
enum : std::int32_t {
  kKinetUpToDate = 0,
  kKinetOffered = 1,  // an update or upgrade was shown to the user
  kKinetFailed = 2,   // the feed could not be read; the user was told
  kKinetMustEnd = 3,  // the program must end now
};
// Flags of an update check: which offers of the feed count.
enum : std::uint32_t {
  kKinetCheckUpgradeOnly = 0x400,
  kKinetCheckUpdateOnly = 0x800,
};

// The window module's (libkvn_inet_wx.so) one export: a message with OK, or
// a question with Yes and No; 1 for OK or Yes, 0 for No, -1 when the process
// cannot show windows.
using KinetAskProc = int (*)(const char* title, const char* text, int question);
inline constexpr const char kKinetAskExport[] = "KvnInetAsk";

KVN_INET_API void WINAPI kinet_Init();

KVN_INET_API KinetHandle WINAPI kinet_InfoCheckCreate();
KVN_INET_API void WINAPI kinet_InfoCheckSetRegistryKey(KinetHandle checker, HKEY root, const char* key);
KVN_INET_API void WINAPI kinet_InfoCheckSetUserRegistryKey(KinetHandle checker, HKEY root, const char* key);
KVN_INET_API void WINAPI kinet_InfoCheckSetProduct(KinetHandle checker, const char* text);
KVN_INET_API void WINAPI kinet_InfoCheckSetProductVersion(KinetHandle checker, const char* text);
KVN_INET_API void WINAPI kinet_InfoCheckSetProductEdition(KinetHandle checker, const char* text);
KVN_INET_API void WINAPI kinet_InfoCheckSetProductLang(KinetHandle checker, const char* text);
KVN_INET_API void WINAPI kinet_InfoCheckSetParentWindow(KinetHandle checker, KinetWindowProc mainWindow);
// Non-null (the text of a menu entry) when channel configuration is offered.
KVN_INET_API const char* WINAPI kinet_InfoCheckGetConfigureChannelsText(KinetHandle checker, std::int32_t kind);
// Asks the user whether to receive information channels; 1 when answered.
KVN_INET_API std::int32_t WINAPI kinet_InfoCheckDoConfig(KinetHandle checker, HWND parent);
// The automatic check: at most once per interval, reads the channel feed and
// shows its message; -1 when the feed says the program must end, else 0.
KVN_INET_API std::int32_t WINAPI kinet_InfoCheckStartAllAuto(KinetHandle checker);

KVN_INET_API KinetHandle WINAPI kinet_UpdateManagerCreate();
KVN_INET_API void WINAPI kinet_UpdateManagerDestroy(KinetHandle manager);
KVN_INET_API void WINAPI kinet_UpdateManagerSetRegistryKey(KinetHandle manager, HKEY root, const char* key);
KVN_INET_API void WINAPI kinet_UpdateManagerSetUserRegistryKey(KinetHandle manager, HKEY root, const char* key);
KVN_INET_API void WINAPI kinet_UpdateManagerSetProduct(KinetHandle manager, const char* text);
KVN_INET_API void WINAPI kinet_UpdateManagerSetProductVersion(KinetHandle manager, const char* text);
KVN_INET_API void WINAPI kinet_UpdateManagerSetProductEdition(KinetHandle manager, const char* text);
KVN_INET_API void WINAPI kinet_UpdateManagerSetProductLang(KinetHandle manager, const char* text);
KVN_INET_API std::int32_t WINAPI kinet_UpdateManagerDoModalCheck(KinetHandle manager, HWND parent, std::uint32_t flags);

// "https://www.example.com/<link>?product=..&version=..&edition=..&lang=..&"
// followed by `extra` (already in URL form; stray characters are escaped),
// from the task allocator (CoTaskMemFree). Null for an empty link key.
KVN_INET_API char* WINAPI kinet_MakeLinkTargetURL(const char* link, const char* product, const char* version,
                                                  const char* edition, const char* lang, const char* extra);
