// The managers' common part and the managers of both editions.
#pragma once

#include <memory>
#include <string>

#include "settings/lapp/DataStore.h"
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
  // Registrations and Start are refused with code 12 once started.
  void FailWhenStarted() const;

  bool started = false;

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
};

// The portable edition: every registered registry key, folder and file is
// restored from the data store at Start (from the initial archive on the
// first run, when there is no data store yet), packed back at Stop and then
// removed from the machine. Creating it needs an administrator (code 9).
class CPortableAppManager final : public CApplicationManager {
 public:
  CPortableAppManager(std::u16string programFolder, std::u16string dataStorePath,
                      std::u16string initialArchivePath);

  bool Start() override;
  bool Stop() override;
  bool AddRegistrySection(const char16_t* rootName, const char16_t* keyPath,
                          std::int32_t flags) override;
  bool AddFolder(const char16_t* folderPath, std::int32_t flags) override;
  bool AddFile(const char16_t* filePath, std::int32_t flags) override;
  bool IsPortable() override { return true; }
  void Destroy() override;

 private:
  ~CPortableAppManager() override = default;
  // Enters the handler under `name`; false when the name is taken.
  bool Register(const std::u16string& name, std::unique_ptr<IDataStoreHandler> handler);
  // Removes every registered item from the machine.
  void CleanAll();

  std::u16string programFolder;
  std::u16string dataStorePath;
  std::u16string initialArchivePath;
  HandlerMap handlers;
};

}  // namespace lapp
