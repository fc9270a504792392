// The application object: everything the program does happens in its
// InitInstance, which prepares settings and language, runs the burn engine
// and shuts down in order before returning FALSE.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compat/mfc/CString.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/Registry.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "shell/EngineTexts.h"
#include "shell/HelpTopics.h"
#include "shell/PathnameListFile.h"

namespace lapp {
class IApplicationManager;
}

// The task the command line asks for, with its input as the engine reads it.
struct LaunchTask {
  std::uint32_t code = kTaskDataDisc;
  std::uint32_t startMode = kStartNormal;
  CString drive;  // "-selectdrive"; empty when not given
  bool hasDrive = false;
};

class CKyrellApp : public CWinApp {
 public:
  CKyrellApp();
  ~CKyrellApp() override;

  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* msg) override;

  // Registry reads below the product key: the current user's value first,
  // then the machine's, then the default; a value of another type counts as
  // missing. `subkey` may be empty. When a hive cannot be read (locked by
  // another process, damaged), the user is told once and every setting of
  // the run takes its default.
  CString GetSettingString(CString subkey, CString name, CString defaultValue);
  int GetSettingInt(CString subkey, CString name, int defaultValue);
  // Drive and folder of the program's file, with the trailing backslash.
  CString ProgramFolder();
  // LoadLibraryW; when that fails and `report` is set, says so in an error box.
  HMODULE LoadLibraryReporting(const CString& fileName, bool report);
  // Runs the engine with the task of the command line; true when the engine
  // reported success.
  bool LaunchEngine();

  CString CommandLineToken(int index) const;
  int CommandLineTokenCount() const;

  // Fills the launch record from the settings and the command line, as
  // LaunchEngine hands it to the engine.
  LaunchRecord& BuildLaunchRecord();
  // Frees the task input lists once the engine has returned.
  void FreeTaskInput();

  // What the menus, help and about box read.
  const CString& DisplayName() const { return m_displayName; }
  const CString& ShortName() const { return m_shortName; }
  const CString& FullVersion() const { return m_fullVersion; }
  const CString& ActiveLanguage() const { return m_activeLanguage; }
  const CString& Version() const { return m_version; }
  const CString& Edition() const { return m_edition; }
  const CString& ProductCode() const { return m_productCode; }
  const CString& UpgradeName() const { return m_upgradeName; }
  bool IsUnicodePlatform() const { return m_isUnicodePlatform; }
  bool IsFirstStart() const { return m_firstStart; }
  int UpgradeType() const { return m_upgradeType; }
  int UpdateType() const { return m_updateType; }
  HMODULE EngineModule() const { return m_engine; }
  const LaunchTask& Task() const { return m_task; }

  // What construction does on finding another instance running: end the
  // process at once with exit code 0. Tests that build application objects
  // side by side put something else here; answers the previous one.
  using SecondInstanceHandler = void (*)();
  static SecondInstanceHandler SetSecondInstanceHandler(SecondInstanceHandler handler);

  static constexpr const char16_t* kMutexName = u"{3f1e7a52-9c4d-4b8e-a6d1-0c57e2b9f48a}";
  static constexpr const char16_t* kSettingsKey = u"SOFTWARE\\korvane\\Korvane Orbweave 9";
  static constexpr const char16_t* kVendorRegistryPath = u"korvane\\Korvane Orbweave 9";

 protected:
  // The start-up sequence, one step each, in the order InitInstance runs them.
  void StartWxWidgets();
  void ComputePaths();
  void CreateApplicationManager();
  void RegisterSettingsWithManager();
  void InitDriveAccess();
  void ShowSplashWindow();
  void DirectFrameworkRegistry();
  void LoadEngine();
  void ReadIdentitySettings();
  void SelectLanguage();
  void ReadUpgradeName();
  void ChooseHelp();
  void ShutDownApplicationManager();
  void StopWxWidgets();

 private:
  // GetSettingString and GetSettingInt over one of the typed registry reads;
  // false when neither hive holds the value with the read's type.
  template <class Value>
  bool ReadSetting(const CString& subkey, const CString& name, LONG (*read)(HKEY, LPCWSTR, LPCWSTR, Value*),
                   Value* value);
  bool SettingsReadable();
  // True when `status` leaves the settings readable; otherwise notes the
  // failure and tells the user.
  bool NoteSettingsStatus(LONG status);
  void ApplyCommandLine(LaunchRecord& record);
  void SetAudioCdList();
  void SetDataDiscList();
  IgnisText PlaceListPath(int index);
  void SetProjectFile(const CString& path);

  // Identity, set in the constructor.
  CString m_companyName;
  CString m_defaultLanguage;
  CString m_shortName;
  CString m_vendorRegistryPath;
  CString m_displayName;
  CString m_fullVersion;

  // Settings read at start-up.
  CString m_version;
  CString m_edition;
  CString m_productCode;
  int m_upgradeType = 0;
  int m_updateType = 2;
  CString m_reportUrl;
  CString m_reportTransform;
  CString m_activeLanguage;
  CString m_langPackPath;
  CString m_helpFile;
  CString m_upgradeName;
  CString m_aboutMarkup;

  CString m_programFolder;
  CString m_initialArchivePath;
  CString m_dataStorePath;

  // ERROR_SUCCESS once the hives proved readable, else what kept them from it.
  static constexpr LONG kSettingsUnchecked = -1;
  LONG m_settingsStatus = kSettingsUnchecked;
  bool m_isUnicodePlatform = true;
  bool m_firstStart = true;
  bool m_wxStarted = false;
  HMODULE m_engine = nullptr;
  // The settings steps of the start-up read through one read transaction
  // per hive, ended before the engine runs.
  std::optional<compat::win32::RegistryReadBatch> m_settingsReads;
  lapp::IApplicationManager* m_appManager = nullptr;
  HANDLE m_instanceMutex = nullptr;

  // What the engine receives, owned here until the process ends.
  LaunchRecord m_record{};
  LOGFONTW m_font{};
  CHelpTopics m_helpTopics;
  CEngineTexts m_texts;
  LaunchTask m_task;
  // The list file of the command line, the input made from it and the texts
  // that input points to: released as a whole once the engine has returned.
  struct ListInput {
    CPathnameListFile file;
    CEngineTexts texts;
    std::vector<IgnisText> audioPaths;
    AudioCdListInput audio{};
    std::vector<DataDiscItem> dataItems;
    DataDiscListInput data{};
  };
  ListInput m_list;
  // The project file stays until the process ends.
  ProjectFileInput m_project{};
  CEngineTexts m_projectTexts;
};
