// The process-wide system object: files and folders named by URIs, special
// folders, the user's name, the system's version and figures, and the table
// where program parts register subsystems under a type name.
//
//   lumo::P<lumo::IURI> file = lumo::GetSystem()->CreateTempFile("orb", ".tmp");
//   lumo::GetSystem()->RegisterSubSystem("IDeviceList", devices);
#pragma once

#include <cstdint>

#include "foundation/IArray.h"
#include "foundation/IBase.h"
#include "foundation/IURI.h"
#include "foundation/Pointer.h"
#include "foundation/String.h"
#include "platform/IMutex.h"

namespace lumo {

namespace win32 {
class IWin32System;
class IWin32SystemMessageHandler;
}  // namespace win32

struct OSVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;
  String servicePack;
};

// Bytes, as the kernel reports them.
struct MemoryStatus {
  std::uint64_t totalPhysical = 0;
  std::uint64_t availablePhysical = 0;
  std::uint64_t totalSwap = 0;
  std::uint64_t availableSwap = 0;
};

struct SystemFigures {
  std::uint32_t processorCount = 0;
  std::uint32_t pageSize = 0;
};

class ISystem : public virtual IBase {
 public:
  virtual std::uint32_t GetProcessId() = 0;
  virtual String GetOSName() = 0;
  virtual OSVersion GetOSVersion() = 0;
  virtual MemoryStatus GetMemoryStatus() = 0;
  virtual SystemFigures GetSystemInfo() = 0;
  virtual P<win32::IWin32System> GetWin32System() = 0;
  // Hands the URI's text to the desktop (browser, mail program, viewer).
  virtual void OpenInShell(const P<IURI>& uri) = 0;

  virtual void RegisterSubSystem(const String& type, const P<IBase>& object) = 0;
  // False when that object was not registered under the type.
  virtual bool UnregisterSubSystem(const String& type, const P<IBase>& object) = 0;
  // The first object registered under the type; CNoSuchObjectError when none.
  virtual P<IBase> GetSubSystem(const String& type) = 0;
  // The same, but null when none.
  virtual P<IBase> FindSubSystem(const String& type) = 0;
  virtual P<IArray> GetSubSystems(const String& type) = 0;
  // The mutex that guards the subsystem table and the message handlers.
  virtual P<IMutex> GetMutex() = 0;

  virtual P<IURI> GetAppDataFolder(bool local) = 0;
  virtual P<IURI> GetDesktopFolder() = 0;
  virtual P<IURI> GetCurrentFolder() = 0;
  virtual String GetUserName() = 0;
  virtual P<IURI> GetDocumentsFolder() = 0;
  virtual P<IURI> GetWindowsFolder() = 0;
  virtual P<IURI> GetTempFolder() = 0;
  virtual P<IURI> CreateTempFile(const String& prefix, const String& suffix) = 0;
  // A new empty file named prefix, eight random hex digits, suffix.
  virtual P<IURI> CreateUniqueFile(const P<IURI>& folder, const String& prefix, const String& suffix) = 0;
  virtual P<IURI> CreateTempFolder(const String& prefix, const String& suffix) = 0;
  virtual P<IURI> CreateUniqueFolder(const P<IURI>& folder, const String& prefix, const String& suffix) = 0;
  // The generator behind the unique names, one for the whole process.
  virtual P<IBase> GetRandomNumberGenerator() = 0;

  virtual bool FileExists(const P<IURI>& uri) = 0;
  virtual bool FolderExists(const P<IURI>& uri) = 0;
  virtual std::uint64_t GetFileSize(const P<IURI>& uri) = 0;
  virtual void MoveFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) = 0;
  virtual void MoveFolder(const P<IURI>& source, const P<IURI>& destination, bool overwrite) = 0;
  virtual void CopyFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) = 0;
  // The deletions below go into the desktop's trash, from where the user can
  // restore the item, and answer false when it was already gone. The "ByURI"
  // forms take only file URIs (or plain paths): any other scheme is
  // CInvalidArgError before anything is touched.
  // Deletes whatever the URI names, a file or a whole folder.
  virtual bool DeleteByURI(const P<IURI>& uri) = 0;
  // A file only: a folder is left alone with an error.
  virtual bool DeleteFile(const P<IURI>& uri) = 0;
  virtual bool DeleteFileByURI(const P<IURI>& uri) = 0;
  virtual bool DeleteFolderByURI(const P<IURI>& uri) = 0;
  // A folder with its contents only: a file is left alone with an error.
  virtual bool DeleteFolder(const P<IURI>& uri) = 0;
  // Creates every missing folder on the way; an existing folder is an error
  // only with failIfExists.
  virtual void CreateFolder(const P<IURI>& uri, bool failIfExists) = 0;

  virtual void RunMessageLoop() = 0;
  virtual void RunMessageLoopOnce() = 0;
  // Not owned: the handler stays registered while someone else keeps it.
  virtual void AddMessageHandler(win32::IWin32SystemMessageHandler* handler) = 0;
  virtual void RequestQuit() = 0;
  virtual bool IsQuitRequested() = 0;
  virtual void SetExitCode(std::uint32_t code) = 0;
  virtual std::uint32_t GetExitCode() = 0;

  virtual String ToWindowsPath(const P<IURI>& uri, bool keepOtherSchemes) = 0;
  virtual P<IURI> FromWindowsPath(const String& path) = 0;
};

// The process-wide system object, made on first use.
const P<ISystem>& GetSystem();

}  // namespace lumo
