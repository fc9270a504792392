// The application object's framework: one global CWinApp-derived object,
// constructed before the program's main runs; the framework then calls its
// InitInstance, and when that returns FALSE ends the process with the exit
// code of ExitInstance (0).
#pragma once

#include <string>

#include "compat/mfc/CString.h"
#include "compat/win32/Message.h"
#include "compat/win32/WinTypes.h"

namespace compat::mfc {
// What the program's main does: fills in the application object's start-up
// members from the arguments, picks the user-interface backend and runs
// InitInstance; returns the process's exit code.
int RunApplication(int argc, char** argv);
}  // namespace compat::mfc

class CWinApp {
 public:
  explicit CWinApp(LPCWSTR appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  virtual BOOL PreTranslateMessage(MSG* msg);

  // Profile writes go to HKEY_CURRENT_USER\Software\<registry key>\<profile
  // name>\<section>; the registry key is set by SetRegistryKey.
  void SetRegistryKey(LPCWSTR registryKey);
  BOOL WriteProfileInt(LPCWSTR section, LPCWSTR entry, int value);
  BOOL WriteProfileStringW(LPCWSTR section, LPCWSTR entry, LPCWSTR value);
  UINT GetProfileIntW(LPCWSTR section, LPCWSTR entry, int defaultValue);
  CString GetProfileStringW(LPCWSTR section, LPCWSTR entry, LPCWSTR defaultValue = nullptr);

  // Framework members, named and owned as the framework has them. The
  // application may point m_pszRegistryKey, m_pszProfileName and
  // m_pszAppName at texts it keeps alive itself.
  HINSTANCE m_hInstance = nullptr;
  LPWSTR m_lpCmdLine = nullptr;  // the command line after the program name
  int m_nCmdShow = 0;
  LPCWSTR m_pszAppName = nullptr;
  LPCWSTR m_pszRegistryKey = nullptr;
  LPCWSTR m_pszProfileName = nullptr;
  LPCWSTR m_pszExeName = nullptr;

 private:
  friend int compat::mfc::RunApplication(int argc, char** argv);

  // The framework's own copies of the texts it sets; the members above point
  // at them until the application points them elsewhere.
  std::u16string m_ownedAppName;
  std::u16string m_ownedRegistryKey;
  std::u16string m_ownedProfileName;
  std::u16string m_ownedExeName;
  std::u16string m_ownedCmdLine;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
