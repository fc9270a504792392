// The system object over the Win32 layer. One instance per process, reached
// through lumo::GetSystem().
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/Object.h"
#include "foundation/Random.h"
#include "platform/win32/IWin32System.h"

namespace lumo::win32 {

class CSystem : public CObject, public virtual IWin32System {
 public:
  // `random` names the unique files and folders; null takes the process's
  // one generator, which every system object shares.
  explicit CSystem(P<CMersenneTwisterRandomNumberGenerator> random = nullptr);

  std::uint32_t GetProcessId() override;
  String GetOSName() override;
  OSVersion GetOSVersion() override;
  MemoryStatus GetMemoryStatus() override;
  SystemFigures GetSystemInfo() override;
  P<IWin32System> GetWin32System() override;
  void OpenInShell(const P<IURI>& uri) override;

  void RegisterSubSystem(const String& type, const P<IBase>& object) override;
  bool UnregisterSubSystem(const String& type, const P<IBase>& object) override;
  P<IBase> GetSubSystem(const String& type) override;
  P<IBase> FindSubSystem(const String& type) override;
  P<IArray> GetSubSystems(const String& type) override;
  P<IMutex> GetMutex() override;

  P<IURI> GetAppDataFolder(bool local) override;
  P<IURI> GetDesktopFolder() override;
  P<IURI> GetCurrentFolder() override;
  String GetUserName() override;
  P<IURI> GetDocumentsFolder() override;
  P<IURI> GetWindowsFolder() override;
  P<IURI> GetTempFolder() override;
  P<IURI> CreateTempFile(const String& prefix, const String& suffix) override;
  P<IURI> CreateUniqueFile(const P<IURI>& folder, const String& prefix, const String& suffix) override;
  P<IURI> CreateTempFolder(const String& prefix, const String& suffix) override;
  P<IURI> CreateUniqueFolder(const P<IURI>& folder, const String& prefix, const String& suffix) override;
  P<IBase> GetRandomNumberGenerator() override;

  bool FileExists(const P<IURI>& uri) override;
  bool FolderExists(const P<IURI>& uri) override;
  std::uint64_t GetFileSize(const P<IURI>& uri) override;
  void MoveFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) override;
  void MoveFolder(const P<IURI>& source, const P<IURI>& destination, bool overwrite) override;
  void CopyFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) override;
  bool DeleteByURI(const P<IURI>& uri) override;
  bool DeleteFile(const P<IURI>& uri) override;
  bool DeleteFileByURI(const P<IURI>& uri) override;
  bool DeleteFolderByURI(const P<IURI>& uri) override;
  bool DeleteFolder(const P<IURI>& uri) override;
  void CreateFolder(const P<IURI>& uri, bool failIfExists) override;

  void RunMessageLoop() override;
  void RunMessageLoopOnce() override;
  void AddMessageHandler(IWin32SystemMessageHandler* handler) override;
  void RequestQuit() override;
  bool IsQuitRequested() override;
  void SetExitCode(std::uint32_t code) override;
  std::uint32_t GetExitCode() override;

  String ToWindowsPath(const P<IURI>& uri, bool keepOtherSchemes) override;
  P<IURI> FromWindowsPath(const String& path) override;

  std::uint32_t GetDllVersion(const String& fileName) override;
  std::uint32_t GetShell32Version() override;
  std::uint32_t GetShlwapiVersion() override;
  std::uint32_t GetComctl32Version() override;
  bool IsShell32Version(std::uint32_t major, std::uint32_t minor) override;
  bool IsShlwapiVersion(std::uint32_t major, std::uint32_t minor) override;
  bool IsComctl32Version(std::uint32_t major, std::uint32_t minor) override;
  ITEMIDLIST* GetNextItemID(const ITEMIDLIST* list) override;
  ITEMIDLIST* GetLastItemID(const ITEMIDLIST* list) override;
  std::uint32_t GetItemIDListSize(const ITEMIDLIST* list) override;
  ITEMIDLIST* CopyItemIDList(const ITEMIDLIST* list) override;
  ITEMIDLIST* CombineItemIDLists(const ITEMIDLIST* first, const ITEMIDLIST* second) override;
  ShellFolderPointer GetShellDesktopFolder() override;
  P<IURI> GetItemIDListPath(const ITEMIDLIST* list) override;
  ITEMIDLIST* GetItemIDListOfPath(const P<IURI>& uri) override;
  ITEMIDLIST* GetSpecialFolderItemIDList(std::int32_t folderId) override;
  std::int32_t GetItemIDCount(const ITEMIDLIST* list) override;
  void FreeItemIDList(ITEMIDLIST* list) override;
  bool IsNT() override;
  bool IsWin98OrLater() override;
  bool IsWinMEOrLater() override;
  bool IsWin2000OrLater() override;
  bool IsWinXPOrLater() override;
  bool IsVistaOrLater() override;
  P<IURI> GetSpecialFolder(std::int32_t folderId) override;

 protected:
  ~CSystem() override;

 private:
  enum class Item { File, Folder, Either };
  // A shell folder by its registry name, with a separator at the end; the
  // special folder `folderId` when the registry has no such value.
  P<IURI> shellFolder(const char16_t* name, std::int32_t folderId);
  // Moves or copies one item; `folder` picks the folder error text.
  void transfer(const P<IURI>& source, const P<IURI>& destination, bool overwrite, bool copy, bool folder);
  bool deleteItem(const P<IURI>& uri, Item kind);
  // The deletion of a URI form: the scheme is checked, then `kind` deleted.
  bool deleteByURI(const P<IURI>& uri, Item kind, const char* method);
  // The next number of the generator, taken under the process's lock for it.
  std::uint32_t nextRandom();
  // Tries names until one can be created; `create` makes the item at a
  // Windows path and reports the system error code, 0 on success.
  template <class Create>
  P<IURI> createUnique(const P<IURI>& folder, const String& prefix, const String& suffix, bool asFolder,
                       const Create& create);

  P<IMutex> mutex;
  P<CMersenneTwisterRandomNumberGenerator> random;
  // Type name and object, in registration order.
  std::vector<std::pair<String, P<IBase>>> subSystems;
  std::vector<IWin32SystemMessageHandler*> messageHandlers;
  std::atomic<bool> quitRequested = false;
  std::atomic<std::uint32_t> exitCode = 0;
};

}  // namespace lumo::win32
