// The application object's life cycle and its profile in the registry.
#include "compat/mfc/WinApp.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "compat/mfc/Backend.h"
#include "compat/mfc/ConsoleBackend.h"
#include "compat/win32/Error.h"
#include "compat/win32/Module.h"
#include "compat/win32/Registry.h"
#include "compat/win32/StringConv.h"

using compat::win32::ScopedKey;

namespace {

// The one application object. A plain pointer with a constant initial value:
// the object registers itself during static initialisation, possibly before
// anything else in this library has been initialised.
CWinApp*& TheApp() {
  static CWinApp* app = nullptr;
  return app;
}

std::u16string TextOf(LPCWSTR text) { return text != nullptr ? std::u16string(text) : std::u16string(); }

}  // namespace

CWinApp::CWinApp(LPCWSTR appName) {
  if (appName != nullptr) {
    m_ownedAppName = appName;
    m_pszAppName = m_ownedAppName.c_str();
  }
  TheApp() = this;
}

CWinApp::~CWinApp() {
  if (TheApp() == this) TheApp() = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

BOOL CWinApp::PreTranslateMessage(MSG* /*msg*/) { return FALSE; }

void CWinApp::SetRegistryKey(LPCWSTR registryKey) {
  if (registryKey == nullptr) {
    m_pszRegistryKey = nullptr;
    return;
  }
  // The profile is named after the application, as the framework does; the
  // application may point m_pszProfileName elsewhere afterwards.
  std::u16string profile = TextOf(m_pszAppName);
  m_ownedRegistryKey = registryKey;
  m_ownedProfileName = std::move(profile);
  m_pszRegistryKey = m_ownedRegistryKey.c_str();
  m_pszProfileName = m_ownedProfileName.c_str();
}

namespace {

// Software\<registry key>[\<profile name>][\<section>] below HKEY_CURRENT_USER;
// an empty profile name puts the sections directly below the registry key.
std::u16string SectionPath(const CWinApp& app, LPCWSTR section) {
  std::u16string path = u"Software\\" + TextOf(app.m_pszRegistryKey);
  for (LPCWSTR part : {app.m_pszProfileName, section}) {
    if (part != nullptr && *part != 0) path.append(u"\\").append(part);
  }
  return path;
}

bool OpenSection(const CWinApp& app, LPCWSTR section, bool forWriting, ScopedKey& key) {
  if (app.m_pszRegistryKey == nullptr) return false;
  const std::u16string path = SectionPath(app, section);
  const LONG status =
      forWriting ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr)
                 : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Receive());
  return status == ERROR_SUCCESS;
}

}  // namespace

BOOL CWinApp::WriteProfileInt(LPCWSTR section, LPCWSTR entry, int value) {
  ScopedKey key;
  if (!OpenSection(*this, section, true, key)) return FALSE;
  const DWORD dword = static_cast<DWORD>(value);
  BYTE data[sizeof dword];
  std::memcpy(data, &dword, sizeof dword);  // REG_DWORD is little-endian, as this machine
  return RegSetValueExW(key.Get(), entry, 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileStringW(LPCWSTR section, LPCWSTR entry, LPCWSTR value) {
  // No entry removes the whole section; no value removes the entry.
  if (entry == nullptr) {
    if (m_pszRegistryKey == nullptr) return FALSE;
    return RegDeleteTreeW(HKEY_CURRENT_USER, SectionPath(*this, section).c_str()) == ERROR_SUCCESS;
  }
  ScopedKey key;
  if (!OpenSection(*this, section, true, key)) return FALSE;
  if (value == nullptr) return RegDeleteValueW(key.Get(), entry) == ERROR_SUCCESS;
  const std::u16string text(value);
  std::vector<BYTE> data((text.size() + 1) * 2);
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char16_t unit = i < text.size() ? text[i] : u'\0';
    data[2 * i] = static_cast<BYTE>(unit & 0xFF);
    data[2 * i + 1] = static_cast<BYTE>(unit >> 8);
  }
  return RegSetValueExW(key.Get(), entry, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size())) ==
         ERROR_SUCCESS;
}

UINT CWinApp::GetProfileIntW(LPCWSTR section, LPCWSTR entry, int defaultValue) {
  ScopedKey key;
  DWORD value = 0;
  if (!OpenSection(*this, section, false, key) ||
      compat::win32::ReadRegDword(key.Get(), nullptr, entry, &value) != ERROR_SUCCESS)
    return static_cast<UINT>(defaultValue);
  return value;
}

CString CWinApp::GetProfileStringW(LPCWSTR section, LPCWSTR entry, LPCWSTR defaultValue) {
  ScopedKey key;
  std::u16string text;
  if (!OpenSection(*this, section, false, key) ||
      compat::win32::ReadRegText(key.Get(), nullptr, entry, &text) != ERROR_SUCCESS)
    return CString(defaultValue);
  return CString(text);
}

CWinApp* AfxGetApp() { return TheApp(); }

HINSTANCE AfxGetInstanceHandle() {
  const CWinApp* app = TheApp();
  return app != nullptr ? app->m_hInstance : nullptr;
}

namespace compat::mfc {
namespace {

// The arguments after the program's name, joined by one blank. Arguments are
// mostly file names, so they are read as compat reads file names, as UTF-8
// whatever the locale, bytes that are no UTF-8 kept as they are: a path typed
// in any locale names the same file. An
// argument that is empty or holds a blank or a tab is quoted, so that it
// reads back as one token.
std::u16string CommandLineOf(int argc, char** argv) {
  std::u16string line;
  for (int i = 1; i < argc; ++i) {
    const std::u16string argument = compat::win32::FileNameToUtf16(argv[i]);
    if (i > 1) line += u' ';
    if (argument.empty() || argument.find_first_of(u" \t") != std::u16string::npos) {
      line.append(u"\"").append(argument).append(u"\"");
    } else {
      line += argument;
    }
  }
  return line;
}

// The program file's name without folder and extension, as the framework
// names the executable.
std::u16string ExeNameOf(const char* argv0) {
  std::u16string path;
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::u16string buffer(size, u'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length > 0 && length < size) {
      path.assign(buffer, 0, length);
      break;
    }
    if (length == 0) break;
  }
  if (path.empty() && argv0 != nullptr) path = compat::win32::FileNameToUtf16(argv0);
  std::u16string name = path.substr(path.find_last_of(u"\\/") + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

int RunApplication(int argc, char** argv) {
  // From the user's locale the program takes the character set of multibyte
  // text (the "ANSI" code page) and the order of locale-aware comparisons.
  // Numbers, dates and the C library's messages keep the "C" conventions a
  // Windows program's runtime starts with; taking every category would read
  // a dozen locale files at each start for nothing the program uses.
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_COLLATE, "");
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    std::fprintf(stderr, "%s: no application object to run\n", program_invocation_short_name);
    return 1;
  }
  app->m_ownedCmdLine = CommandLineOf(argc, argv);
  app->m_lpCmdLine = app->m_ownedCmdLine.data();
  app->m_hInstance = GetModuleHandleW(nullptr);
  app->m_nCmdShow = 10;  // SW_SHOWDEFAULT: nothing asked for a particular window state
  app->m_ownedExeName = ExeNameOf(argc > 0 ? argv[0] : nullptr);
  app->m_pszExeName = app->m_ownedExeName.c_str();
  if (app->m_pszAppName == nullptr) app->m_pszAppName = app->m_pszExeName;
  // Picks the backend unless one was chosen already (a test may have asked
  // for the recording one while the application object was built).
  CurrentBackend();
  // There is no message loop of the framework's own: an application that
  // returns TRUE ends the same way as one that returns FALSE.
  app->InitInstance();
  return app->ExitInstance();
}

}  // namespace compat::mfc
