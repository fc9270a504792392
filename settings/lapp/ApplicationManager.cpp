// The managers' common part, the installed edition's manager and the factory.
#include "settings/lapp/ApplicationManager.h"

#include <stdexcept>

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

void CNormalAppManager::FailWhenStarted() const {
  if (started) throw CAppmanError(CAppmanError::kAlreadyStarted);
}

IApplicationManager* CreateAppManager(const char16_t* /*programFolder*/,
                                      const char16_t* /*dataStorePath*/,
                                      const char16_t* /*initialArchivePath*/, bool portable) {
  // This build ships the installed edition only; the portable manager joins
  // with the data-store archives it depends on.
  if (portable) throw std::logic_error("the portable edition's manager is not part of this build");
  return new CNormalAppManager();
}

}  // namespace lapp
