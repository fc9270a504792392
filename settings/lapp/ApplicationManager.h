// The managers' common part and the installed edition's manager.
#pragma once

#include <string>

#include "settings/lapp/IApplicationManager.h"

namespace lapp {

// What both editions share: the temporary folder, made on first request and
// removed at Stop.
class CApplicationManager : public IApplicationManager {
 public:
  std::u16string GetTempFolder() override;
  void SetTempFolderParent(const char16_t* parentFolder) override;

 protected:
  CApplicationManager() = default;
  ~CApplicationManager() override = default;
  // The end of every Stop: removes the temporary folder, if any.
  void StopCommonTail();

 private:
  std::u16string tempFolder;
};

// The installed edition: settings stay in the registry, so registrations are
// accepted and ignored; only the life cycle is checked.
class CNormalAppManager final : public CApplicationManager {
 public:
  CNormalAppManager() = default;

  bool Start() override;
  bool Stop() override;
  bool AddRegistrySection(const char16_t* rootName, const char16_t* keyPath,
                          std::int32_t flags) override;
  bool AddFolder(const char16_t* folderPath, std::int32_t flags) override;
  bool AddFile(const char16_t* filePath, std::int32_t flags) override;
  bool IsPortable() override { return false; }
  void Destroy() override;

 private:
  ~CNormalAppManager() override = default;
  void FailWhenStarted() const;

  bool started = false;
};

}  // namespace lapp
