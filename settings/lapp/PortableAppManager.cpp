// The portable edition's manager: what is registered travels between the
// machine and the data store.
#include <algorithm>

#include "compat/win32/Process.h"

#include "settings/lapp/AppmanError.h"
#include "settings/lapp/ApplicationManager.h"
#include "settings/lapp/DataStoreHandlers.h"
#include "settings/lapp/Folders.h"
#include "settings/lapp/ZipArchive.h"

namespace lapp {

namespace {

constexpr const char* kUserSet = "regentry_user";
constexpr const char* kInitialSet = "regentry_init";

std::u16string WithBackslashes(const char16_t* path) {
  std::u16string text = path ? path : u"";
  std::replace(text.begin(), text.end(), u'/', u'\\');
  return text;
}

}  // namespace

CPortableAppManager::CPortableAppManager(std::u16string programFolder_, std::u16string dataStorePath_,
                                         std::u16string initialArchivePath_) {
  if (!IsUserAnAdmin()) throw CAppmanError(CAppmanError::kNotAdministrator);
  programFolder = std::move(programFolder_);
  dataStorePath = std::move(dataStorePath_);
  initialArchivePath = std::move(initialArchivePath_);
  const std::size_t cut = dataStorePath.find_last_of(u"\\/");
  if (cut != std::u16string::npos) CreateFolderWithParents(dataStorePath.substr(0, cut));
}

// An item already registered under the same name keeps its handler; the
// new one is dropped and the answer is false.
bool CPortableAppManager::Register(const std::u16string& name, std::unique_ptr<IDataStoreHandler> handler) {
  return handlers.try_emplace(name, std::move(handler)).second;
}

bool CPortableAppManager::AddRegistrySection(const char16_t* rootName, const char16_t* keyPath,
                                             std::int32_t flags) {
  FailWhenStarted();
  const std::u16string root = rootName ? rootName : u"";
  if (root.find_first_of(u"/\\") != std::u16string::npos) throw CAppmanError(CAppmanError::kBadRootName);
  const std::u16string key = WithBackslashes(keyPath);
  const std::u16string name = root + u"\\" + key;
  return Register(name, std::make_unique<CRegistrySectionHandler>(root, key, flags));
}

bool CPortableAppManager::AddFolder(const char16_t* folderPath, std::int32_t flags) {
  FailWhenStarted();
  const std::u16string path = WithBackslash(WithBackslashes(folderPath));
  return Register(path, std::make_unique<CFolderHandler>(path, flags));
}

bool CPortableAppManager::AddFile(const char16_t* filePath, std::int32_t flags) {
  FailWhenStarted();
  const std::u16string path = WithBackslashes(filePath);
  return Register(path, std::make_unique<CFileHandler>(path, flags));
}

void CPortableAppManager::CleanAll() {
  for (const auto& [name, handler] : handlers) handler->Clean();
}

bool CPortableAppManager::Start() {
  FailWhenStarted();
  // The first run on this drive starts from the shipped settings. Asked
  // before the items are removed, which may take the data store with them.
  const bool firstRun = !FileExists(dataStorePath);
  CleanAll();
  if (!firstRun) {
    LoadSet(dataStorePath, kUserSet, handlers);
  } else {
    LoadSet(initialArchivePath, kInitialSet, handlers);
  }
  started = true;
  return true;
}

bool CPortableAppManager::Stop() {
  if (!started) throw CAppmanError(CAppmanError::kNotStarted);
  // The items leave the machine only once the data store holding them is
  // complete on disk.
  SaveSet(dataStorePath, kUserSet, handlers);
  CleanAll();
  started = false;
  StopCommonTail();
  return true;
}

void CPortableAppManager::Destroy() {
  if (started) throw CAppmanError(CAppmanError::kStillStarted);
  delete this;
}

IApplicationManager* CreatePortableAppManager(const char16_t* programFolder, const char16_t* dataStorePath,
                                              const char16_t* initialArchivePath) {
  return new CPortableAppManager(programFolder ? programFolder : u"", dataStorePath ? dataStorePath : u"",
                                 initialArchivePath ? initialArchivePath : u"");
}

}  // namespace lapp
