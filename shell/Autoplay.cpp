// Autoplay handler texts.
#include "shell/Autoplay.h"

#include <cstring>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Version.h"
#include "langpacks/Localize.h"

namespace {

constexpr const char16_t* kHandlersKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\";

struct AutoplayHandler {
  const char16_t* action;
  const char16_t* textKey;
  const char16_t* defaultText;
};

constexpr AutoplayHandler kHandlers[] = {
    {u"BURNONARRIVAL", u"CKyrell.Autoplay.BurnDisc", u"Burn %IMPORTANTDTCS%"},
    {u"COPYONARRIVAL", u"CKyrell.Autoplay.CopyDisc", u"Copy %IMPORTANTDTCS%"},
    {u"RIPONARRIVAL", u"CKyrell.Autoplay.RipAudioCD", u"Rip Audio-CD"},
};

// The prompt that offers handlers exists from Windows XP (5.1) on; only the
// NT family ever reached version 5, so the version alone tells.
bool SystemHasAutoplayHandlers() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(&version)) return false;
  return (version.dwMajorVersion == 5 && version.dwMinorVersion != 0) || version.dwMajorVersion >= 6;
}

// Whether the handler's key holds `text` as its action already, terminator
// included. Registering at every start then reads the handlers and writes
// nothing: a call that may write checks the hive's files and takes its write
// lock even when it ends up changing nothing.
bool HoldsAction(const CString& key, const CString& text) {
  const auto size = static_cast<DWORD>((text.GetLength() + 1) * sizeof(WCHAR));
  std::vector<BYTE> data(size + sizeof(WCHAR));  // room to tell a longer text
  auto stored = static_cast<DWORD>(data.size());
  return RegGetValueW(HKEY_LOCAL_MACHINE, key, u"Action", RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data.data(),
                      &stored) == ERROR_SUCCESS &&
         stored == size && std::memcmp(data.data(), text.GetString(), size) == 0;
}

}  // namespace

CString AutoplayHandlerKey(const CString& displayName, const CString& action) {
  CString name = displayName;
  name.Replace(u' ', u'_');
  return CString(kHandlersKey) + u"KVN" + name + action;
}

void RegisterAutoplayHandlers(const CString& displayName) {
  if (!SystemHasAutoplayHandlers()) return;
  for (const AutoplayHandler& handler : kHandlers) {
    CString text = Localize(handler.textKey, handler.defaultText);
    ReplacePlaceholder(text, u"%IMPORTANTDTCS%", u"CD/DVD");
    const CString path = AutoplayHandlerKey(displayName, handler.action);
    if (HoldsAction(path, text)) continue;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      continue;
    }
    RegSetValueExW(key, u"Action", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                   static_cast<DWORD>((text.GetLength() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
  }
}
