// Where the program's persistent state lives between runs. The installed
// edition leaves it in the registry; the portable edition restores what was
// registered from its data store at Start and packs it back at Stop.
//
//   lapp::IApplicationManager* manager = lapp::CreateAppManager(folder, store, init, false);
//   manager->AddRegistrySection(u"HKEY_CURRENT_USER", u"Software\\korvane\\...", 7);
//   manager->Start();
//   ...
//   manager->Stop();
//   manager->Destroy();
#pragma once

#include <cstdint>
#include <string>

namespace lapp {

// Registration flags; the shell passes all three.
enum : std::int32_t {
  kSaveAtStop = 1,
  kRemoveFromMachine = 2,
  kRestoreAtStart = 4,
};

class IApplicationManager {
 public:
  virtual bool Start() = 0;
  virtual bool Stop() = 0;
  virtual bool AddRegistrySection(const char16_t* rootName, const char16_t* keyPath,
                                  std::int32_t flags) = 0;
  virtual bool AddFolder(const char16_t* folderPath, std::int32_t flags) = 0;
  virtual bool AddFile(const char16_t* filePath, std::int32_t flags) = 0;
  virtual std::u16string GetTempFolder() = 0;
  virtual void SetTempFolderParent(const char16_t* parentFolder) = 0;
  virtual bool IsPortable() = 0;
  // Deletes the manager; fails with code 11 while it is started.
  virtual void Destroy() = 0;

 protected:
  virtual ~IApplicationManager() = default;
};

// The installed edition's manager, and the portable edition's (null paths
// count as empty).
IApplicationManager* CreateInstalledAppManager();
IApplicationManager* CreatePortableAppManager(const char16_t* programFolder, const char16_t* dataStorePath,
                                              const char16_t* initialArchivePath);

// The manager for this edition: the portable one when `portable` is true,
// else the installed one (which does not use the paths). Inline, so that a
// program that passes a constant links only the manager it asks for: the
// portable one brings the data store's zip and XML code, and with it two
// more shared libraries for every start of the installed edition to load.
inline IApplicationManager* CreateAppManager(const char16_t* programFolder, const char16_t* dataStorePath,
                                             const char16_t* initialArchivePath, bool portable) {
  return portable ? CreatePortableAppManager(programFolder, dataStorePath, initialArchivePath)
                  : CreateInstalledAppManager();
}

}  // namespace lapp
