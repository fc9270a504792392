// The application's settings reader: values below the product key, the
// current user's before the machine's, each of one registry type only.
#include <iterator>
#include <string>

#include "compat/mfc/MessageBox.h"
#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "langpacks/Localize.h"
#include "shell/Kyrell.h"

namespace {

// The product key, or its subkey when one is given.
CString SettingsPath(const CString& subkey) {
  return subkey.IsEmpty() ? CString(CKyrellApp::kSettingsKey) : CKyrellApp::kSettingsKey + (u"\\" + subkey);
}

// The system's text for a registry failure, without its line break.
CString ErrorText(LONG status) {
  WCHAR text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(status), 0, text, std::size(text), nullptr);
  while (length > 0 && (text[length - 1] == u'\r' || text[length - 1] == u'\n')) --length;
  return CString(text, static_cast<int>(length));
}

}  // namespace

CString CKyrellApp::GetSettingString(CString subkey, CString name, CString defaultValue) {
  std::u16string text;
  return ReadSetting(subkey, name, compat::win32::ReadRegText, &text) ? CString(text) : defaultValue;
}

int CKyrellApp::GetSettingInt(CString subkey, CString name, int defaultValue) {
  DWORD value = 0;
  return ReadSetting(subkey, name, compat::win32::ReadRegDword, &value) ? static_cast<int>(value) : defaultValue;
}

template <class Value>
bool CKyrellApp::ReadSetting(const CString& subkey, const CString& name,
                             LONG (*read)(HKEY, LPCWSTR, LPCWSTR, Value*), Value* value) {
  const CString keyPath = SettingsPath(subkey);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    if (!SettingsReadable()) return false;
    // A value of another type is passed over like a missing one; any other
    // failure is told once and leaves the settings unreadable from now on.
    const LONG status = read(root, keyPath, name, value);
    if (status == ERROR_SUCCESS) return true;
    NoteSettingsStatus(status);
  }
  return false;
}

bool CKyrellApp::SettingsReadable() {
  if (m_settingsStatus == kSettingsUnchecked) {
    // Both hives are looked at before the first value is taken from either,
    // so that a hive that is locked or damaged from the start yields no mix
    // of stored values and defaults. After a failure nothing more is read: a
    // locked hive costs one wait, not one per setting.
    m_settingsStatus = ERROR_SUCCESS;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      compat::win32::ScopedKey key;
      const LONG status = RegOpenKeyExW(root, kSettingsKey, 0, KEY_READ, key.Receive());
      if (!NoteSettingsStatus(status)) break;
    }
  }
  return m_settingsStatus == ERROR_SUCCESS;
}

bool CKyrellApp::NoteSettingsStatus(LONG status) {
  if (status == ERROR_SUCCESS || compat::win32::IsMissingValue(status)) return true;
  m_settingsStatus = status;
  CString message = Localize(u"CKyrell.SettingsUnreadable",
                             u"The settings of %APP_NAME% could not be read: %ERRORDESC% The program "
                             u"starts with its default settings and leaves the stored settings as they are.");
  ReplacePlaceholder(message, u"%APP_NAME%", m_displayName);
  ReplacePlaceholder(message, u"%ERRORDESC%", ErrorText(status));
  AfxMessageBox(message, MB_ICONERROR);
  return false;
}
