#include "platform/win32/System.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <thread>

#include "compat/win32/ConfigFile.h"
#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Module.h"
#include "compat/win32/Process.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Shell.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Time.h"
#include "compat/win32/Version.h"
#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"
#include "foundation/IStringLocalizer.h"
#include "foundation/Singleton.h"
#include "foundation/Cast.h"
#include "platform/FrailList.h"
#include "platform/ITimeManager.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"

namespace lumo::win32 {

namespace {

// Tries before a unique name is given up.
constexpr std::int32_t kUniqueAttempts = 10000;

String FromUTF8(const std::string& text) {
  return make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(text.data()),
                           static_cast<std::int32_t>(text.size()));
}

std::string ToUTF8Text(const String& text) {
  const String utf8 = CString::convert(*text, GetUTF8CharEncoding());
  return std::string(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(utf8->byteLength()));
}

String FromUTF16(const std::u16string& text) {
  return make<CWCharString>(text.data(), static_cast<std::int32_t>(2 * text.size()));
}

String Fill(String text, std::initializer_list<std::pair<const char*, String>> fill) {
  for (const auto& [placeholder, value] : fill) text = text.replace(placeholder, value);
  return text;
}

String Filled(const char* key, const char* defaultText, std::initializer_list<std::pair<const char*, String>> fill) {
  return Fill(Localize(key, defaultText), fill);
}

// The registry key where the desktop's special folders are kept by name.
constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Unique names of every system object come from one generator, so two
// objects never walk the same sequence; it is not locked itself, so it is
// used under a mutex of its own.
P<CMersenneTwisterRandomNumberGenerator> MakeRandom() { return make<CMersenneTwisterRandomNumberGenerator>(); }
P<CMersenneTwisterRandomNumberGenerator> ProcessRandom() {
  return StaticSingleton<CMersenneTwisterRandomNumberGenerator, &MakeRandom>();
}
P<IMutex> MakeRandomMutex() { return GetMutexFactory()->CreateMutex(); }

// The version record a library's "DllGetVersion" export fills.
struct DllVersionInfo {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
using DllGetVersionFunction = long (*)(DllVersionInfo*);

}  // namespace

P<IURI> CSystem::shellFolder(const char16_t* name, std::int32_t folderId) {
  std::u16string path;
  // A value the user removed: the shell still knows where the folder is.
  if (compat::win32::ReadRegText(HKEY_CURRENT_USER, kShellFolders, name, &path) != ERROR_SUCCESS || path.empty())
    return GetSpecialFolder(folderId);
  if (!path.ends_with(u'\\') && !path.ends_with(u'/')) path += u'\\';
  return FromWindowsPath(FromUTF16(path));
}

CSystem::CSystem(P<CMersenneTwisterRandomNumberGenerator> random)
    : mutex(GetMutexFactory()->CreateMutex()), random(random ? std::move(random) : ProcessRandom()) {
  timer = make<CWindowTimer>(nullptr, 0);
  timer->AddTimerListener(this);
  RecomputeInterval();
  timer->Start();
  // The runtime's own generator, for whatever part of the program uses it.
  std::srand(static_cast<unsigned>(GetTimeManager()->GetTickCount()));
}

CSystem::~CSystem() { timer->RemoveTimerListener(this); }

std::uint32_t CSystem::GetProcessId() { return GetCurrentProcessId(); }

OSVersion CSystem::GetOSVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) ThrowSystemError(GetLastError());
  return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
          String(info.szCSDVersion)};
}

String CSystem::GetOSName() {
  const OSVersion version = GetOSVersion();
  const bool nt = version.platformId == VER_PLATFORM_WIN32_NT;
  String name;
  if (!nt && version.major == 4 && version.minor == 0) {
    name = "Windows 95";
  } else if (!nt && version.major == 4 && version.minor == 10) {
    name = "Windows 98";
  } else if (!nt && version.major == 4 && version.minor == 90) {
    name = "Windows ME";
  } else if (nt && version.major == 3) {
    name = "Windows NT 3.51";
  } else if (nt && version.major == 4) {
    name = "Windows NT 4.0";
  } else if (nt && version.major == 5 && version.minor <= 2) {
    static const char* const kNames[] = {"Windows 2000", "Windows XP", "Windows 2003 Server"};
    name = kNames[version.minor];
  } else {
    name = String(nt ? "Windows NT " : "Windows ") + FromUTF8(std::to_string(version.major)) + "." +
           FromUTF8(std::to_string(version.minor));
  }
  if (!version.servicePack.isEmpty()) name = name + " " + version.servicePack;
  return name;
}

MemoryStatus CSystem::GetMemoryStatus() {
  MemoryStatus status;
  std::istringstream meminfo(compat::win32::ReadConfigFile("/proc/meminfo").value_or(std::string()));
  std::string key;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes) {
    std::getline(meminfo, unit);
    const std::uint64_t bytes = kilobytes * 1024;
    if (key == "MemTotal:") status.totalPhysical = bytes;
    if (key == "MemAvailable:") status.availablePhysical = bytes;
    if (key == "SwapTotal:") status.totalSwap = bytes;
    if (key == "SwapFree:") status.availableSwap = bytes;
  }
  return status;
}

SystemFigures CSystem::GetSystemInfo() {
  const long pageSize = sysconf(_SC_PAGESIZE);
  return {std::thread::hardware_concurrency(), static_cast<std::uint32_t>(pageSize > 0 ? pageSize : 4096)};
}

P<IWin32System> CSystem::GetWin32System() { return P<IWin32System>::share(this); }

// The desktop's opener picks the browser, mail program or viewer. It runs on
// its own; a thread reaps it so no zombie is left.
void CSystem::OpenInShell(const P<IURI>& uri) {
  const std::string text = ToUTF8Text(uri->getText());
  char program[] = "xdg-open";
  std::string argument = text;
  char* arguments[] = {program, argument.data(), nullptr};
  pid_t child = 0;
  const int failed = posix_spawnp(&child, program, nullptr, nullptr, arguments, environ);
  if (failed) ThrowSystemError(compat::win32::ErrorFromErrno(failed), "Cannot open '" + uri->getText() + "': %ERRORDESC%");
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
}

// Subsystems.

void CSystem::RegisterSubSystem(const String& type, const P<IBase>& object) {
  CMutexGuard guard(mutex);
  subSystems.emplace_back(type, object);
}

bool CSystem::UnregisterSubSystem(const String& type, const P<IBase>& object) {
  CMutexGuard guard(mutex);
  for (auto entry = subSystems.begin(); entry != subSystems.end(); ++entry) {
    if (entry->first == type && entry->second.get() == object.get()) {
      subSystems.erase(entry);
      return true;
    }
  }
  return false;
}

P<IBase> CSystem::FindSubSystem(const String& type) {
  CMutexGuard guard(mutex);
  for (const auto& [name, object] : subSystems) {
    if (name == type) return object;
  }
  return nullptr;
}

P<IBase> CSystem::GetSubSystem(const String& type) {
  P<IBase> found = FindSubSystem(type);
  if (!found) {
    throw CNoSuchObjectError(
        Filled("lumo.win32.CSystem.NoSuchSubSystem", "No sub system of type %TYPE% was found.", {{"%TYPE%", type}}));
  }
  return found;
}

P<IArray> CSystem::GetSubSystems(const String& type) {
  CMutexGuard guard(mutex);
  const P<CArray> all = make<CArray>();
  for (const auto& [name, object] : subSystems) {
    if (name == type) all->add(object);
  }
  return all;
}

P<IMutex> CSystem::GetMutex() { return mutex; }

// Folders of the user and the system.

P<IURI> CSystem::GetAppDataFolder(bool local) {
  return local ? shellFolder(u"Local AppData", CSIDL_LOCAL_APPDATA) : shellFolder(u"AppData", CSIDL_APPDATA);
}
P<IURI> CSystem::GetDesktopFolder() { return shellFolder(u"Desktop", CSIDL_DESKTOPDIRECTORY); }
P<IURI> CSystem::GetDocumentsFolder() { return shellFolder(u"Personal", CSIDL_PERSONAL); }

P<IURI> CSystem::GetSpecialFolder(std::int32_t folderId) {
  ITEMIDLIST* const list = GetSpecialFolderItemIDList(folderId);
  WCHAR path[MAX_PATH];
  const BOOL found = SHGetPathFromIDListW(list, path);
  FreeItemIDList(list);
  if (!found) throw CInvalidArgError(this, &typeid(*this), "GetSpecialFolder", "no path");
  std::u16string folder(path);
  if (!folder.ends_with(u'\\')) folder += u'\\';
  return FromWindowsPath(FromUTF16(folder));
}

// The logged-on user in the domain-backslash-user form; the machine is the
// domain.
String CSystem::GetUserName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) std::snprintf(host, sizeof host, "localhost");
  std::string user;
  passwd entry{};
  passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    user = found->pw_name;
  } else if (const char* variable = std::getenv("USER")) {
    user = variable;
  } else {
    ThrowSystemError(compat::win32::ErrorFromErrno(errno ? errno : ENOENT));
  }
  return FromUTF8(std::string(host) + "\\" + user);
}

P<IURI> CSystem::GetCurrentFolder() {
  std::u16string path(520, u'\0');
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
  if (length == 0 || length >= path.size()) ThrowSystemError(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
  path.resize(length);
  if (!path.ends_with(u'\\')) path += u'\\';
  return FromWindowsPath(FromUTF16(path));
}

P<IURI> CSystem::GetWindowsFolder() {
  // The system folder of a Windows-on-POSIX layer: the drive root.
  return FromWindowsPath("Z:\\");
}

P<IURI> CSystem::GetTempFolder() {
  std::u16string buffer(200, u'\0');
  for (;;) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.assign(buffer.size() * 2, u'\0');
  }
  if (!buffer.ends_with(u'\\') && !buffer.ends_with(u'/')) buffer += u'/';
  return FromWindowsPath(FromUTF16(buffer));
}

template <class Create>
P<IURI> CSystem::createUnique(const P<IURI>& folder, const String& prefix, const String& suffix, bool asFolder,
                              const Create& create) {
  DWORD code = 0;
  for (std::int32_t attempt = 0; attempt < kUniqueAttempts; ++attempt) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", nextRandom());
    String name = prefix + digits + suffix;
    if (asFolder) name = name + "/";
    const P<IURI> candidate = make<CURI>(name)->resolveAgainst(*folder);
    code = create(ToUTF16(ToWindowsPath(candidate, false)));
    if (code == 0) return candidate;
  }
  if (asFolder) {
    ThrowSystemError(code, Localize("lumo.CSystem.CreateUniqueFolderFailed", "Error creating unique folder name.") +
                               " %ERRORDESC%");
  }
  ThrowSystemError(code,
                   Localize("lumo.CSystem.CreateUniqueFileFailed", "Error creating unique file name.") + " %ERRORDESC%");
}

P<IURI> CSystem::CreateUniqueFile(const P<IURI>& folder, const String& prefix, const String& suffix) {
  return createUnique(folder, prefix, suffix, false, [](const std::u16string& path) -> DWORD {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return 0;
  });
}

P<IURI> CSystem::CreateUniqueFolder(const P<IURI>& folder, const String& prefix, const String& suffix) {
  return createUnique(folder, prefix, suffix, true, [](const std::u16string& path) -> DWORD {
    return CreateDirectoryW(path.c_str(), nullptr) ? 0 : GetLastError();
  });
}

P<IURI> CSystem::CreateTempFile(const String& prefix, const String& suffix) {
  return CreateUniqueFile(GetTempFolder(), prefix, suffix);
}

P<IURI> CSystem::CreateTempFolder(const String& prefix, const String& suffix) {
  return CreateUniqueFolder(GetTempFolder(), prefix, suffix);
}

P<IBase> CSystem::GetRandomNumberGenerator() { return random; }

std::uint32_t CSystem::nextRandom() {
  CMutexGuard guard(StaticSingleton<IMutex, &MakeRandomMutex>());
  return random->next();
}

// Files and folders.

bool CSystem::FileExists(const P<IURI>& uri) {
  const String path = ToWindowsPath(uri, false);
  if (path.isEmpty()) return false;
  // Deletion can be shared on the NT family only.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (IsNT() ? FILE_SHARE_DELETE : 0);
  const HANDLE file =
      CreateFileW(ToUTF16(path).c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  const DWORD attributes = GetFileAttributesW(ToUTF16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CSystem::FolderExists(const P<IURI>& uri) {
  String path = ToWindowsPath(uri, false);
  if (path.isEmpty()) return false;
  if (path.startsWith("\\\\?\\")) {
    if (path.endsWith("\\") && !path.endsWith(":\\")) path = path.slice(0, path.length() - 1);
  } else {
    if (!path.endsWith("\\") && !path.endsWith("/")) path = path + "\\";
    path = path + ".";
  }
  const DWORD attributes = GetFileAttributesW(ToUTF16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint64_t CSystem::GetFileSize(const P<IURI>& uri) {
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW(ToUTF16(ToWindowsPath(uri, false)).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) throw CFileNotFoundError(uri.get());
  FindClose(find);
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void CSystem::transfer(const P<IURI>& source, const P<IURI>& destination, bool overwrite, bool copy, bool folder) {
  const String from = ToWindowsPath(source, false);
  const String to = ToWindowsPath(destination, false);
  if (from.isEmpty() || to.isEmpty()) {
    throw CInvalidArgError(this, &typeid(*this), copy ? "CopyFile" : folder ? "MoveFolder" : "MoveFile",
                           from.isEmpty() ? "source" : "destination");
  }
  const auto fail = [&] {
    const String text = folder ? Localize("lumo.CSystem.MoveFolderFailed", "Error moving folder '%SRC%' to '%DEST%'.")
                               : Localize("lumo.CSystem.MoveFileFailed", "Error moving file '%SRC%' to '%DEST%'.");
    throw CFileError(Fill(text, {{"%SRC%", from}, {"%DEST%", to}}), source.get());
  };
  const std::u16string fromPath = ToUTF16(from);
  const std::u16string toPath = ToUTF16(to);
  // A file is never moved as a folder, nor a folder as a file.
  const DWORD attributes = GetFileAttributesW(fromPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) fail();
  // Neither call replaces a target: with overwrite the old one goes to the
  // trash first, so it can still be restored.
  const auto attempt = [&] {
    return copy ? CopyFileW(fromPath.c_str(), toPath.c_str(), TRUE)
                : MoveFileExW(fromPath.c_str(), toPath.c_str(), MOVEFILE_COPY_ALLOWED);
  };
  if (attempt()) return;
  const DWORD code = GetLastError();
  // A copy onto its own source would trash the source it is about to read.
  if (!overwrite || (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || from == to) fail();
  if (!DeleteByURI(destination) || !attempt()) fail();
}

void CSystem::MoveFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, false, false);
}

void CSystem::MoveFolder(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, false, true);
}

void CSystem::CopyFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, true, false);
}

bool CSystem::deleteItem(const P<IURI>& uri, Item kind) {
  const String path = ToWindowsPath(uri, false);
  if (path.isEmpty()) return false;
  const std::u16string windowsPath = ToUTF16(path);
  const DWORD attributes = GetFileAttributesW(windowsPath.c_str());
  const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (kind == Item::Either) kind = isFolder ? Item::Folder : Item::File;
  const bool folder = kind == Item::Folder;
  const auto fail = [&](const String& message) {
    const String text = folder ? Localize("lumo.CSystem.DeleteFolderFailed", "Error deleting the folder '%FOLDER%' (%MSG%).")
                               : Localize("lumo.CSystem.DeleteFileFailed", "Error deleting the file '%FILE%' (%MSG%).");
    throw CError(Fill(text, {{folder ? "%FOLDER%" : "%FILE%", path}, {"%MSG%", message}}));
  };
  // Only the kind of item asked for is deleted: a folder is never taken for
  // a file, nor a file for a folder.
  if (attributes != INVALID_FILE_ATTRIBUTES && isFolder != folder) {
    fail(folder ? String("not a folder") : String("not a file"));
  }
  // One name, ended by a zero and the list by a second one.
  const std::u16string names = windowsPath + u'\0';
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = names.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  const int result = SHFileOperationW(&operation);
  if (result == 0) return true;
  if (!(folder ? FolderExists(uri) : FileExists(uri))) return false;
  char message[32];
  std::snprintf(message, sizeof message, "shell error %d", result);
  fail(message);
  return false;
}

bool CSystem::deleteByURI(const P<IURI>& uri, Item kind, const char* method) {
  if (!uri || (uri->hasScheme() && !uri->getScheme().equalsNoCase("file"))) {
    throw CInvalidArgError(this, &typeid(*this), method, "not a file URI");
  }
  return deleteItem(uri, kind);
}

bool CSystem::DeleteByURI(const P<IURI>& uri) { return deleteByURI(uri, Item::Either, "DeleteByURI"); }
bool CSystem::DeleteFile(const P<IURI>& uri) { return deleteItem(uri, Item::File); }
bool CSystem::DeleteFileByURI(const P<IURI>& uri) { return deleteByURI(uri, Item::File, "DeleteFileByURI"); }
bool CSystem::DeleteFolderByURI(const P<IURI>& uri) { return deleteByURI(uri, Item::Folder, "DeleteFolderByURI"); }
bool CSystem::DeleteFolder(const P<IURI>& uri) { return deleteItem(uri, Item::Folder); }

void CSystem::CreateFolder(const P<IURI>& uri, bool failIfExists) {
  const std::u16string path = ToUTF16(ToWindowsPath(uri, false));
  // Every level in turn; only the last (the whole path) decides.
  for (std::size_t cut = 1; cut < path.size(); ++cut) {
    if (path[cut] == u'\\' || path[cut] == u'/') CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
  }
  if (CreateDirectoryW(path.c_str(), nullptr)) return;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && !failIfExists) return;
  throw CError(Filled("lumo.CSystem.CreateFolderFailed", "Error creating the folder '%DIR%' (%MSG%).",
                      {{"%DIR%", uri->getText()}, {"%MSG%", DescribeSystemError(code)}}));
}

// The message loop and the root worker manager.

namespace {
constexpr std::int32_t kIdlePeriod = 100;
constexpr std::int32_t kShortestPeriod = 20;

// Leaves a mutex for the life of a block and takes it again at its end.
class CMutexRelease {
 public:
  explicit CMutexRelease(const P<IMutex>& mutex) : mutex(mutex) { mutex->Unlock(); }
  ~CMutexRelease() { mutex->Lock(); }
  CMutexRelease(const CMutexRelease&) = delete;
  CMutexRelease& operator=(const CMutexRelease&) = delete;

 private:
  const P<IMutex>& mutex;
};
}  // namespace

void CSystem::handleMessage(const MSG& msg) {
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  OfferMessage(msg.message, msg.wParam, msg.lParam);
}

void CSystem::RunMessageLoop() {
  MSG msg;
  while (!quitRequested) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      RequestQuit();
      break;
    }
    handleMessage(msg);
  }
}

void CSystem::RunMessageLoopOnce() {
  CMutexGuard guard(mutex);
  MSG msg;
  if (!GetMessageW(&msg, nullptr, 0, 0)) {
    RequestQuit();
    return;
  }
  handleMessage(msg);
}

bool CSystem::OfferMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  CMutexGuard guard(mutex);
  for (auto handler = messageHandlers.rbegin(); handler != messageHandlers.rend(); ++handler) {
    if ((*handler)->HandleMessage(message, wParam, lParam)) return true;
  }
  return false;
}

void CSystem::OnTimer(CWindowTimer*) { Work(); }

void CSystem::WorkerChanged(IWorker*) {
  CMutexGuard guard(mutex);
  RecomputeInterval();
}

void CSystem::RecomputeInterval() {
  CWorkerManager::RecomputeInterval();
  const std::uint32_t period = GetInterval();
  timer->SetInterval(period == 0 ? kIdlePeriod
                                 : period < kShortestPeriod ? kShortestPeriod
                                                            : static_cast<std::int32_t>(period));
}

void CSystem::QueueAction(const P<IBase>& action) {
  std::lock_guard<std::mutex> guard(actionLock);
  actions.push_back(action);
}

void CSystem::AddAfterWorkFunction(std::function<void()> function) { afterWork.push_back(std::move(function)); }

void CSystem::Work() {
  CMutexGuard guard(mutex);
  if (working) return;
  working = true;
  struct Done {
    bool& working;
    ~Done() { working = false; }
  } done{working};
  const P<ITimeManager>& time = GetTimeManager();
  lastWorkTime = time->GetTickCount();
  CallEachBackwards(workers, [this](IWorker& worker) {
    CMutexRelease released(mutex);
    worker.Work();
  });
  bool handled = false;
  {
    CMutexRelease released(mutex);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      handled = true;
      if (msg.message == WM_QUIT) {
        RequestQuit();
      } else {
        handleMessage(msg);
      }
    }
  }
  lastWorkTime = time->GetTickCount();
  for (;;) {
    P<IBase> next;
    {
      std::lock_guard<std::mutex> taking(actionLock);
      if (actions.empty()) break;
      next = std::move(actions.front());
      actions.pop_front();
    }
    CMutexRelease released(mutex);
    castOrThrow<IAction>(next.get())->Run();
    handled = true;
  }
  if (handled) {
    for (const std::function<void()>& function : afterWork) function();
  }
}

void CSystem::AddMessageHandler(IWin32SystemMessageHandler* handler) {
  CMutexGuard guard(mutex);
  messageHandlers.push_back(handler);
}

void CSystem::RequestQuit() {
  quitRequested = true;
  timer->PostMessage(kQuitMessage, 0, 0);
}
bool CSystem::IsQuitRequested() { return quitRequested; }
void CSystem::SetExitCode(std::uint32_t code) { exitCode = code; }
std::uint32_t CSystem::GetExitCode() { return exitCode; }

// Paths.

String CSystem::ToWindowsPath(const P<IURI>& uri, bool keepOtherSchemes) {
  return win32::ToWindowsPath(uri.get(), keepOtherSchemes);
}

P<IURI> CSystem::FromWindowsPath(const String& windowsPath) {
  String path = windowsPath;
  if (path.startsWith("\\\\?\\")) {
    path = path.slice(4);
    if (path.startsWith("UNC\\")) path = "\\\\" + path.slice(4);
  }
  path = path.replace("\\", "/");
  if (path.startsWith("//")) {
    const String rest = path.slice(2);
    const std::int32_t slash = rest->find('/').index;
    if (slash < 0) return make<CURI>("file", nullptr, rest, nullptr, nullptr, nullptr, nullptr);
    return make<CURI>("file", nullptr, rest.slice(0, slash), nullptr, rest.slice(slash), nullptr, nullptr);
  }
  if (path.length() >= 2 && path->charAt(1) == ':') {
    return make<CURI>("file", nullptr, "", nullptr, "/" + path, nullptr, nullptr);
  }
  return make<CURI>(nullptr, nullptr, nullptr, nullptr, path, nullptr, nullptr);
}

// Libraries and versions.

std::uint32_t CSystem::GetDllVersion(const String& fileName) {
  const HMODULE library = LoadLibraryW(ToUTF16(fileName).c_str());
  if (!library) return 0;
  std::uint32_t version = 0;
  if (const auto get = reinterpret_cast<DllGetVersionFunction>(GetProcAddress(library, "DllGetVersion"))) {
    DllVersionInfo info{};
    info.cbSize = sizeof info;
    if (get(&info) == 0) version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  }
  FreeLibrary(library);
  return version;
}
std::uint32_t CSystem::GetShell32Version() { return GetDllVersion("shell32.dll"); }
std::uint32_t CSystem::GetShlwapiVersion() { return GetDllVersion("shlwapi.dll"); }
std::uint32_t CSystem::GetComctl32Version() { return GetDllVersion("comctl32.dll"); }
bool CSystem::IsShell32Version(std::uint32_t major, std::uint32_t minor) {
  return GetShell32Version() >= ((major << 16) | minor);
}
bool CSystem::IsShlwapiVersion(std::uint32_t major, std::uint32_t minor) {
  return GetShlwapiVersion() >= ((major << 16) | minor);
}
bool CSystem::IsComctl32Version(std::uint32_t major, std::uint32_t minor) {
  return GetComctl32Version() >= ((major << 16) | minor);
}

// The shell's item-ID lists.

ITEMIDLIST* CSystem::GetNextItemID(const ITEMIDLIST* list) { return ILGetNext(list); }
ITEMIDLIST* CSystem::GetLastItemID(const ITEMIDLIST* list) { return ILFindLastID(list); }
std::uint32_t CSystem::GetItemIDListSize(const ITEMIDLIST* list) { return ILGetSize(list); }

namespace {
// A list the shell allocated, or the allocation failure of the runtime.
ITEMIDLIST* Allocated(ITEMIDLIST* list) {
  if (!list) throw std::bad_alloc();
  return list;
}
}  // namespace

ITEMIDLIST* CSystem::CopyItemIDList(const ITEMIDLIST* list) { return list ? Allocated(ILClone(list)) : nullptr; }

ITEMIDLIST* CSystem::CombineItemIDLists(const ITEMIDLIST* first, const ITEMIDLIST* second) {
  return first || second ? Allocated(ILCombine(first, second)) : nullptr;
}

void ShellFolderRelease::operator()(IShellFolder* folder) const {
  if (folder) folder->Release();
}

ShellFolderPointer CSystem::GetShellDesktopFolder() {
  IShellFolder* folder = nullptr;
  const HRESULT result = SHGetDesktopFolder(&folder);
  if (result != S_OK) ThrowSystemError(static_cast<DWORD>(result));
  return ShellFolderPointer(folder);
}

P<IURI> CSystem::GetItemIDListPath(const ITEMIDLIST* list) {
  WCHAR path[MAX_PATH];
  if (!list || !SHGetPathFromIDListW(list, path)) return nullptr;
  return FromWindowsPath(FromUTF16(path));
}

ITEMIDLIST* CSystem::GetItemIDListOfPath(const P<IURI>& uri) {
  // A URI that names no path converts to "", which the desktop refuses to parse.
  std::u16string path = ToUTF16(ToWindowsPath(uri, false));
  ITEMIDLIST* list = nullptr;
  const HRESULT result =
      GetShellDesktopFolder()->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &list, nullptr);
  if (result == E_OUTOFMEMORY) throw std::bad_alloc();
  return result == S_OK ? list : nullptr;
}

ITEMIDLIST* CSystem::GetSpecialFolderItemIDList(std::int32_t folderId) {
  ITEMIDLIST* list = nullptr;
  const HRESULT result = SHGetSpecialFolderLocation(nullptr, folderId, &list);
  if (result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (result != S_OK) throw CInvalidArgError(this, &typeid(*this), "GetSpecialFolder", "no such special folder");
  return list;
}

std::int32_t CSystem::GetItemIDCount(const ITEMIDLIST* list) {
  std::int32_t count = 0;
  for (const ITEMIDLIST* item = list; item && item->mkid.cb != 0; item = ILGetNext(item)) ++count;
  return count;
}

// ILFree gives the list back to the shell's allocator, which every list
// handed out came from.
void CSystem::FreeItemIDList(ITEMIDLIST* list) { ILFree(list); }

bool CSystem::IsNT() { return GetOSVersion().platformId == VER_PLATFORM_WIN32_NT; }
bool CSystem::IsWin98OrLater() { return IsSystemVersionAtLeast(5, 0, 4, 10); }
bool CSystem::IsWinMEOrLater() { return IsSystemVersionAtLeast(5, 0, 4, 90); }
bool CSystem::IsWin2000OrLater() { return IsSystemVersionAtLeast(5, 0, -1, 0); }
bool CSystem::IsWinXPOrLater() { return IsSystemVersionAtLeast(5, 1, -1, 0); }
bool CSystem::IsVistaOrLater() { return IsSystemVersionAtLeast(6, 0, -1, 0); }

namespace {
P<ISystem> MakeSystem() { return make<CSystem>(); }
}  // namespace

}  // namespace lumo::win32

namespace lumo {
const P<ISystem>& GetSystem() { return StaticSingleton<ISystem, &win32::MakeSystem>(); }
}  // namespace lumo
