// The hand-over to the burn engine: the task from the command line, the
// launch record, the engine's run and what is freed afterwards.
#include "compat/mfc/MessageBox.h"
#include "compat/win32/File.h"
#include "compat/win32/Module.h"
#include "compat/win32/Resource.h"
#include "langpacks/Localize.h"
#include "shell/CommandLine.h"
#include "shell/Kyrell.h"
#include "shell/Menus.h"
#include "shell/PathnameListFile.h"
#include "shell/ProblemReport.h"

namespace {

// The task a start without a task switch opens, named as the build names it.
constexpr const char16_t* kDefaultTaskKeyword = u"IGNSI_DATACD";

std::uint32_t DefaultTask() {
  const CString keyword = kDefaultTaskKeyword;
  if (keyword.CompareNoCase(u"IGNIS_AUDIOCD") == 0) return kTaskAudioCd;
  if (keyword.CompareNoCase(u"IGNIS_RESTOREBACKUP") == 0) return kTaskRestoreBackup;
  return kTaskDataDisc;
}

HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(128), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                       LR_SHARED));
}

void FillFont(LOGFONTW& font) {
  font = LOGFONTW{};
  font.lfHeight = -12;
  font.lfWeight = FW_BOLD;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = ANTIALIASED_QUALITY;
  font.lfPitchAndFamily = VARIABLE_PITCH;
  const char16_t face[] = u"MS Shell Dlg";
  for (std::size_t i = 0; i < std::size(face); ++i) font.lfFaceName[i] = face[i];
}

}  // namespace

CString CKyrellApp::CommandLineToken(int index) const {
  return CCommandLine(m_lpCmdLine).Token(index);
}

int CKyrellApp::CommandLineTokenCount() const { return CCommandLine(m_lpCmdLine).Count(); }

bool CKyrellApp::LaunchEngine() {
  auto startIgnis = reinterpret_cast<StartIgnisProc>(GetProcAddress(m_engine, "StartIgnis"));
  auto freeResults =
      reinterpret_cast<FreeIgnisResultsProc>(GetProcAddress(m_engine, "FreeIgnisResults"));
  if (startIgnis == nullptr || freeResults == nullptr) {
    CString message = Localize(u"Kyrell", u"Could not load %BURNDLL%");
    ReplacePlaceholder(message, u"%BURNDLL%", u"orbcore.dll");
    AfxMessageBox(message, MB_ICONERROR);
    return false;
  }

  m_firstStart = GetSettingInt(u"General", u"FirstStart", 1) != 0;
  // The user's own mark is written once: a later start reads it and leaves
  // the hive alone, where a write would take the hive's write lock and
  // check its file and folder to change nothing.
  if (GetProfileIntW(u"General", u"FirstStart", 1) != 0) WriteProfileInt(u"General", u"FirstStart", 0);

  LaunchRecord& record = BuildLaunchRecord();
  InitInfoChannels(*this);

  m_settingsReads.reset();  // the engine waits for the user
  void* results = nullptr;
  startIgnis(&record, &results);
  const bool success = results != nullptr && *static_cast<const std::uint32_t*>(results) != 0;

  FreeTaskInput();
  freeResults(results);
  return success;
}

LaunchRecord& CKyrellApp::BuildLaunchRecord() {
  m_record = LaunchRecord{};
  LaunchRecord& r = m_record;
  // The layout tag, the registry root and the values only the engine gives
  // a meaning.
  SetLaunchRecordConstants(r);

  r.helpTopics = m_helpTopics.Fill(m_helpFile, m_texts);

  const ProblemReportTexts report = LocalizeProblemReportTexts();
  r.reportTaskDescription = m_texts.Place(report.taskDescription);
  r.reportExplanation = m_texts.Place(report.explanation);

  m_task = LaunchTask{};
  m_task.code = DefaultTask();

  FillFont(m_font);
  r.font = &m_font;
  r.instance = m_hInstance;
  r.largeIcon = LoadProgramIcon(m_hInstance, SM_CXICON, SM_CYICON);
  r.smallIcon = LoadProgramIcon(m_hInstance, SM_CXSMICON, SM_CYSMICON);

  r.reportTitle = m_texts.Place(report.title);
  r.settingsKey = m_texts.Place(kSettingsKey);
  r.languageName = m_texts.Place(m_activeLanguage);
  r.displayName = m_texts.Place(m_displayName);
  r.aboutMarkup = m_texts.Place(m_aboutMarkup);
  r.languagePackPath = m_texts.Place(m_langPackPath);
  r.reportUrl = m_texts.Place(m_reportUrl);
  r.reportContentType = m_texts.Place(kReportContentType);
  r.version = m_texts.Place(m_version);
  r.productCode = m_productCode.IsEmpty() ? nullptr : m_texts.Place(m_productCode);
  r.edition = m_texts.Place(m_edition);
  r.supportEmail = m_texts.PlaceWide(kSupportEmail);
  r.reportTransform = m_texts.Place(m_reportTransform);
  r.upgradeName = m_isUnicodePlatform ? m_texts.PlaceWide(m_upgradeName) : nullptr;
  r.shortName = m_texts.Place(m_shortName);
  r.fullVersion = m_texts.Place(m_fullVersion);
  r.menuCommand = ShellMenuCommand;
  r.menuBuild = ShellMenuBuild;
  r.idle = ShellIdle;
  r.appManager = m_appManager;

  ApplyCommandLine(r);
  r.taskCode = m_task.code;
  r.startMode = m_task.startMode;
  r.selectedDrive = m_task.hasDrive ? m_texts.Place(m_task.drive) : nullptr;
  return r;
}

void CKyrellApp::ApplyCommandLine(LaunchRecord& record) {
  const CCommandLine line(m_lpCmdLine);
  // Both arguments count as empty unless there are at least two.
  const CString arg0 = line.Count() >= 2 ? line.Token(0) : CString();
  const CString arg1 = line.Count() >= 2 ? line.Token(1) : CString();
  if (arg1.IsEmpty()) return;

  if (arg0.CompareNoCase(u"-autoplay") == 0) {
    for (int i = 1; i < line.Count(); ++i) {
      const CString token = line.Token(i);
      if (token.CompareNoCase(u"-selectdrive") == 0) {
        if (i + 1 < line.Count()) {
          m_task.drive = line.Token(++i);
          m_task.hasDrive = true;
        }
      } else if (token.CompareNoCase(u"-copy") == 0) {
        m_task.code = kTaskCopyDisc;
        m_task.startMode = kStartWithInput;
      } else if (token.CompareNoCase(u"-rip") == 0) {
        m_task.code = kTaskRipAudioCd;
        m_task.startMode = kStartWithInput;
      }
    }
    return;
  }

  if (arg0.CompareNoCase(u"-open") == 0) {
    m_task.code = kTaskOpenProject;
    m_task.startMode = kStartWithInput;
    SetProjectFile(arg1);
    record.taskInput = &m_project;
    return;
  }

  // The list is read for any other switch, but used and deleted only for the
  // two that take one; the file is deleted only once it was read whole, so
  // only a regular file is ever deleted.
  m_list.texts.SetUnicode(m_isUnicodePlatform);
  if (!m_list.file.Read(arg1)) {
    if (m_list.file.Error() == CPathnameListFile::kNotAFile) {
      CString message = Localize(u"Kyrell.ListFileNotAFile",
                                 u"\"%FILE%\" is not a file and cannot be read as a list of files.");
      ReplacePlaceholder(message, u"%FILE%", arg1);
      AfxMessageBox(message, MB_ICONERROR);
    }
    return;
  }
  if (arg0.CompareNoCase(u"-audiocd") == 0) {
    m_task.code = kTaskAudioCd;
    m_task.startMode = kStartWithInput;
    SetAudioCdList();
    record.taskInput = &m_list.audio;
    DeleteFileW(arg1);
  } else if (arg0.CompareNoCase(u"-datacd") == 0) {
    m_task.code = kTaskDataDisc;
    m_task.startMode = kStartDataDiscList;
    SetDataDiscList();
    record.taskInput = &m_list.data;
    DeleteFileW(arg1);
  } else {
    m_list.file.Clear();
  }
}

// On the NT family the engine reads the list's own zero-terminated paths;
// otherwise each gets its ANSI copy.
IgnisText CKyrellApp::PlaceListPath(int index) {
  if (m_isUnicodePlatform) return m_list.file.Path(index);
  return m_list.texts.Place(CString(m_list.file.Path(index)));
}

void CKyrellApp::SetAudioCdList() {
  std::vector<IgnisText>& paths = m_list.audioPaths;
  paths.reserve(static_cast<std::size_t>(m_list.file.Count()));
  for (int i = 0; i < m_list.file.Count(); ++i) paths.push_back(PlaceListPath(i));
  m_list.audio = AudioCdListInput{0, static_cast<std::uint32_t>(paths.size()), paths.data()};
}

void CKyrellApp::SetDataDiscList() {
  std::vector<DataDiscItem>& items = m_list.dataItems;
  items.reserve(static_cast<std::size_t>(m_list.file.Count()));
  for (int i = 0; i < m_list.file.Count(); ++i) {
    const char16_t* path = m_list.file.Path(i);
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;  // gone since the list was written
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      items.push_back({kDataItemFolder, m_list.texts.Place(CString(path) + u"\\*.*"), u"\\"});
    } else {
      items.push_back({kDataItemFile, PlaceListPath(i), u"\\"});
    }
  }
  m_list.data = DataDiscListInput{0, 0, static_cast<std::uint32_t>(items.size()), items.data()};
}

void CKyrellApp::SetProjectFile(const CString& path) {
  // The project path stays until the process ends.
  m_project = ProjectFileInput{0, m_projectTexts.Place(path)};
}

// A list that was not used is empty already; the project file is kept.
void CKyrellApp::FreeTaskInput() { m_list = ListInput(); }
