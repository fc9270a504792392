// The application object and its start-up sequence.
#include "shell/Kyrell.h"

#include <algorithm>

#include <wx/init.h>

#include "compat/mfc/MessageBox.h"
#include "compat/win32/Error.h"
#include "compat/win32/Module.h"
#include "compat/win32/Process.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Version.h"
#include "langpacks/LangPackMan.h"
#include "langpacks/Localize.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/IApplicationManager.h"
#include "shell/AboutBox.h"
#include "shell/Autoplay.h"
#include "shell/ProblemReport.h"
#include "shell/ProgramInfo.h"
#include "shell/Splash.h"

namespace {

constexpr const char16_t* kEngineLibrary = u"orbcore.dll";
constexpr const char16_t* kDriveLibrary = u"kvn_spti.dll";

using InitWmiDrivesProc = int(WINAPI*)(const char16_t* registryKey);

void EndSecondInstance() { ExitProcess(0); }

// Constant-initialised, so it is in place before the application object is
// built during static initialisation.
CKyrellApp::SecondInstanceHandler g_secondInstance = EndSecondInstance;

}  // namespace

CKyrellApp::SecondInstanceHandler CKyrellApp::SetSecondInstanceHandler(SecondInstanceHandler handler) {
  const SecondInstanceHandler previous = g_secondInstance;
  g_secondInstance = handler;
  return previous;
}

CKyrellApp::CKyrellApp()
    : m_companyName(u"Korvane"),
      m_defaultLanguage(u"english"),
      m_shortName(u"Orbweave"),
      m_vendorRegistryPath(kVendorRegistryPath),
      m_displayName(u"Korvane Orbweave 9") {
  m_instanceMutex = CreateMutexW(nullptr, TRUE, kMutexName);
  // A second instance never shows anything.
  if (GetLastError() == ERROR_ALREADY_EXISTS) g_secondInstance();
}

CKyrellApp::~CKyrellApp() {
  // The mutex marks the running instance until the process ends.
  if (m_instanceMutex != nullptr) CloseHandle(m_instanceMutex);
}

BOOL CKyrellApp::InitInstance() {
  try {
    StartWxWidgets();
    ComputePaths();
    CreateApplicationManager();
    RegisterSettingsWithManager();
    InitDriveAccess();
    ShowSplashWindow();
    // Some forty settings are read from here to the engine's start (most
    // looked for in the user's hive, then found in the machine's): each
    // hive's locks are taken once for all of them.
    m_settingsReads.emplace();
    DirectFrameworkRegistry();
    LoadEngine();
    ReadIdentitySettings();
    SelectLanguage();
    ReadUpgradeName();
    ChooseHelp();
    if (m_engine != nullptr) {
      RegisterAutoplayHandlers(m_displayName);
      m_aboutMarkup = BuildAboutMarkup();
      LaunchEngine();
    }
  } catch (const lapp::CAppmanError& error) {
    if (error.code() == lapp::CAppmanError::kNotAdministrator) {
      AfxMessageBox(Localize(u"CProblemGuide.prob_enumerror_nodrive_rights_notadmin.heading",
                             u"Administrative rights needed."),
                    MB_ICONERROR);
    }
  } catch (...) {
    // Anything else ends the run without a word; shut-down still runs.
  }
  m_settingsReads.reset();
  ShutDownApplicationManager();
  StopWxWidgets();
  return FALSE;
}

BOOL CKyrellApp::PreTranslateMessage(MSG* msg) {
  if (PreTranslateAppMessage(msg)) return TRUE;
  return CWinApp::PreTranslateMessage(msg);
}

void CKyrellApp::StartWxWidgets() {
  // The settings store uses wxWidgets without an application object of its own.
  int argc = 0;
  m_wxStarted = wxEntryStart(argc, static_cast<wxChar**>(nullptr));
}

void CKyrellApp::ComputePaths() {
  m_programFolder = ProgramFolder();
  m_initialArchivePath = m_programFolder + u"init.zip";
  m_dataStorePath = m_programFolder + u"datastore\\data.db";
}

void CKyrellApp::CreateApplicationManager() {
  // This product is the installed edition.
  const bool portable = false;
  m_appManager = lapp::CreateAppManager(m_programFolder, m_dataStorePath, m_initialArchivePath,
                                        portable);
}

void CKyrellApp::RegisterSettingsWithManager() {
  const CString subtree = CString(u"Software\\") + m_vendorRegistryPath;
  const std::int32_t flags = lapp::kSaveAtStop | lapp::kRemoveFromMachine | lapp::kRestoreAtStart;
  m_appManager->AddRegistrySection(u"HKEY_CURRENT_USER", subtree, flags);
  m_appManager->AddRegistrySection(u"HKEY_LOCAL_MACHINE", subtree, flags);
  m_appManager->Start();
}

void CKyrellApp::InitDriveAccess() {
  HMODULE drives = LoadLibraryReporting(kDriveLibrary, true);
  if (drives == nullptr) return;
  // The library stays loaded for the life of the process.
  if (auto init = reinterpret_cast<InitWmiDrivesProc>(GetProcAddress(drives, "InitWmiDrives"))) {
    init(CString(kSettingsKey) + u"\\drives");
  }
}

void CKyrellApp::ShowSplashWindow() {
  EnableSplash(true);
  ShowSplash(true, 1500, 60, nullptr);
}

void CKyrellApp::DirectFrameworkRegistry() {
  // Profile writes go to HKEY_CURRENT_USER\Software\<vendor path> itself.
  SetRegistryKey(m_vendorRegistryPath);
  m_pszProfileName = u"";
  m_pszAppName = m_displayName;
}

void CKyrellApp::LoadEngine() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  m_isUnicodePlatform = GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  m_texts.SetUnicode(m_isUnicodePlatform);
  m_projectTexts.SetUnicode(m_isUnicodePlatform);
  m_engine = LoadLibraryReporting(kEngineLibrary, true);
}

void CKyrellApp::ReadIdentitySettings() {
  m_fullVersion = kFullVersionText;
  m_version = GetSettingString(u"", u"Version", u"9.12");
  m_edition = GetSettingString(u"", u"Edition", u"");
  m_productCode = GetSettingString(u"", u"ProductCode", u"2210");
  m_upgradeType = GetSettingInt(u"", u"UpgradeType", 0);
  m_updateType = GetSettingInt(u"", u"UpdateType", 2);
  m_reportUrl = kReportUrl;
  m_reportTransform = GetSettingString(u"", u"ReportTransformURL", u"html");
}

void CKyrellApp::SelectLanguage() {
  CLangPackMan& packs = LangPackMan();
  m_defaultLanguage = GetSettingString(u"", u"DefaultLangID", packs.SystemLanguageName());
  const CString requested = GetSettingString(u"General", u"Language", m_defaultLanguage);
  m_activeLanguage = requested;
  packs.Scan(m_programFolder + u"lang\\", m_shortName);
  packs.Select(packs.FindBest(requested));
  if (const CLangPack* pack = packs.Current()) {
    m_activeLanguage = pack->LanguageName();
    m_langPackPath = pack->FilePath();
  }
}

void CKyrellApp::ReadUpgradeName() {
  CString successor = Localize(u"CKyrell.DefaultUpgradeName", u"the successor of %APP_NAME%");
  ReplacePlaceholder(successor, u"%APP_NAME%", m_displayName);
  m_upgradeName = GetSettingString(u"", u"UpgradeName", successor);
}

void CKyrellApp::ChooseHelp() {
  HelpFileChoice choice;
  choice.langFolder = m_programFolder + u"lang\\";
  if (const CLangPack* pack = LangPackMan().Current()) {
    choice.packCurrent = true;
    choice.packFilePath = pack->FilePath();
    choice.packHeader3 = pack->HeaderString3();
  }
  choice.activeLanguage = m_activeLanguage;
  choice.defaultLanguage = m_defaultLanguage;
  choice.defaultHelpFile = GetSettingString(u"", u"DefaultHelpFile", m_shortName + u"-en-us.chm");
  choice.shortName = m_shortName;
  m_helpFile = ChooseHelpFile(choice);
}

void CKyrellApp::ShutDownApplicationManager() {
  if (m_appManager == nullptr) return;
  lapp::IApplicationManager* manager = m_appManager;
  m_appManager = nullptr;
  // A manager that failed before it started refuses Stop; it is destroyed all the same.
  try {
    manager->Stop();
  } catch (...) {
  }
  try {
    manager->Destroy();
  } catch (...) {
  }
}

void CKyrellApp::StopWxWidgets() {
  if (!m_wxStarted) return;
  wxEntryCleanup();
  m_wxStarted = false;
}

CString CKyrellApp::ProgramFolder() {
  WCHAR path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const CString file(path, static_cast<int>(length));
  // Drive and folder: everything up to and including the last separator.
  return file.Left(std::max(file.ReverseFind(u'\\'), file.ReverseFind(u'/')) + 1);
}

HMODULE CKyrellApp::LoadLibraryReporting(const CString& fileName, bool report) {
  HMODULE module = LoadLibraryW(fileName);
  if (module == nullptr && report) {
    CString message = u"Could not load %DLLNAME%";
    message.Replace(u"%DLLNAME%", fileName);
    AfxMessageBox(message, MB_ICONERROR);
  }
  return module;
}
