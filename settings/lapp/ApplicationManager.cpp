// The managers' common part and the installed edition's manager. The
// portable edition's is in PortableAppManager.cpp, apart, so that a program
// that never makes one links none of the data store's code.
#include "settings/lapp/ApplicationManager.h"

#include "settings/lapp/AppmanError.h"
#include "settings/lapp/Folders.h"

namespace lapp {

std::u16string CApplicationManager::GetTempFolder() {
  if (tempFolder.empty()) tempFolder = CreateUniqueFolder(SystemTempFolder(), u"app_", u"_temp");
  return tempFolder;
}

void CApplicationManager::SetTempFolderParent(const char16_t* parentFolder) {
  const std::u16string parent = parentFolder ? parentFolder : u"";
  CreateFolderWithParents(parent);
  std::u16string created = CreateUniqueFolder(parent, u"app_", u"_temp");
  if (created.empty()) return;
  if (!tempFolder.empty()) DeleteFolder(tempFolder);
  tempFolder = std::move(created);
}

void CApplicationManager::StopCommonTail() {
  if (tempFolder.empty()) return;
  DeleteFolder(tempFolder);
  tempFolder.clear();
}

bool CNormalAppManager::Start() {
  FailWhenStarted();
  started = true;
  return true;
}

bool CNormalAppManager::Stop() {
  if (!started) throw CAppmanError(CAppmanError::kNotStarted);
  started = false;
  StopCommonTail();
  return true;
}

bool CNormalAppManager::AddRegistrySection(const char16_t*, const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

bool CNormalAppManager::AddFolder(const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

bool CNormalAppManager::AddFile(const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

void CNormalAppManager::Destroy() {
  if (started) throw CAppmanError(CAppmanError::kStillStarted);
  delete this;
}

void CApplicationManager::FailWhenStarted() const {
  if (started) throw CAppmanError(CAppmanError::kAlreadyStarted);
}

IApplicationManager* CreateInstalledAppManager() { return new CNormalAppManager(); }

}  // namespace lapp
