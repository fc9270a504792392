// The system object over the Win32 layer. One instance per process, reached
// through lumo::GetSystem().
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "foundation/Object.h"
#include "foundation/Random.h"
#include "platform/WorkerManager.h"
#include "platform/win32/IWin32System.h"
#include "platform/win32/MessageWindow.h"

namespace lumo::win32 {

// The system is also the root worker manager: a window timer on the thread
// that made the system calls its workers, pumps the thread's messages and
// runs the actions other threads queued.
class CSystem : public CWorkerManager, public virtual IWin32System, public CWindowTimer::ITimerListener {
 public:
  // Posted to the system's window by RequestQuit, to wake the loop.
  static constexpr std::uint32_t kQuitMessage = 1357;

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

  // One pass: the workers, the waiting messages, then the queued actions;
  // the after-work functions when a message or an action was handled.
  void Work() override;
  void WorkerChanged(IWorker* worker) override;
  // Also sets the timer: every 100 ms without a period, never below 20 ms.
  void RecomputeInterval() override;
  // Offers a message to the message handlers, the last added first; true
  // when one of them handled it.
  virtual bool OfferMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void OnTimer(CWindowTimer* timer) override;
  // From any thread: the action (an IAction) runs in the loop's next pass.
  void QueueAction(const P<IBase>& action);
  // Runs after every pass that handled a message or an action; loop thread only.
  void AddAfterWorkFunction(std::function<void()> function);
  std::int32_t GetTimerInterval() const { return timer->GetInterval(); }

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
  // Translates and dispatches one message and offers it to the handlers.
  void handleMessage(const MSG& msg);

  P<CWindowTimer> timer;
  // Actions come from any thread; this lock is held only to take one out.
  std::mutex actionLock;
  std::deque<P<IBase>> actions;
  std::vector<std::function<void()>> afterWork;
  // A worker slow enough for the next tick to come due inside the pass's
  // own message pump does not start a second pass inside the first.
  bool working = false;
  std::atomic<bool> quitRequested = false;
  std::atomic<std::uint32_t> exitCode = 0;
};

}  // namespace lumo::win32
