// What the system object offers beyond the portable interface: library
// versions, the shell's item-ID lists, the system version tests and special
// folders.
//
//   if (lumo::GetSystem()->GetWin32System()->IsWinXPOrLater()) ...
#pragma once

#include <cstdint>

#include <memory>

#include "platform/ISystem.h"

// The shell's item-ID list and folder object (compat/win32/Shell.h).
struct ITEMIDLIST;
struct IShellFolder;

namespace lumo::win32 {

// Gives the shell's folder object back with its Release.
struct ShellFolderRelease {
  void operator()(IShellFolder* folder) const;
};
// A shell folder object with the one reference its holder owns.
using ShellFolderPointer = std::unique_ptr<IShellFolder, ShellFolderRelease>;

// Offered every message the system's loop dispatches, the last added first.
class IWin32SystemMessageHandler : public virtual IBase {
 public:
  // True when the message is handled and no further handler should see it.
  virtual bool HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

class IWin32System : public virtual ISystem {
 public:
  // The library's version, major in the high 16 bits and minor in the low
  // ones; 0 when it does not tell.
  virtual std::uint32_t GetDllVersion(const String& fileName) = 0;
  virtual std::uint32_t GetShell32Version() = 0;
  virtual std::uint32_t GetShlwapiVersion() = 0;
  virtual std::uint32_t GetComctl32Version() = 0;
  virtual bool IsShell32Version(std::uint32_t major, std::uint32_t minor) = 0;
  virtual bool IsShlwapiVersion(std::uint32_t major, std::uint32_t minor) = 0;
  virtual bool IsComctl32Version(std::uint32_t major, std::uint32_t minor) = 0;

  // Item-ID lists of the shell's namespace. A list handed out here is new,
  // from the shell's allocator, and goes back through FreeItemIDList.
  // The item after the first: the list's ending after its last item, null
  // at the ending itself.
  virtual ITEMIDLIST* GetNextItemID(const ITEMIDLIST* list) = 0;
  // The last item; the list itself when it is empty.
  virtual ITEMIDLIST* GetLastItemID(const ITEMIDLIST* list) = 0;
  // Bytes of the list with its ending.
  virtual std::uint32_t GetItemIDListSize(const ITEMIDLIST* list) = 0;
  virtual ITEMIDLIST* CopyItemIDList(const ITEMIDLIST* list) = 0;
  // The items of `first`, then those of `second`.
  virtual ITEMIDLIST* CombineItemIDLists(const ITEMIDLIST* first, const ITEMIDLIST* second) = 0;
  // The desktop folder, root of the namespace, which parses paths into lists.
  virtual ShellFolderPointer GetShellDesktopFolder() = 0;
  // The path a list names, as a file URI; null for a list that names none.
  virtual P<IURI> GetItemIDListPath(const ITEMIDLIST* list) = 0;
  // The list of a file URI's path; null for one that names no shell item.
  virtual ITEMIDLIST* GetItemIDListOfPath(const P<IURI>& uri) = 0;
  // The list of a special folder; CInvalidArgError for an id not known here.
  virtual ITEMIDLIST* GetSpecialFolderItemIDList(std::int32_t folderId) = 0;
  virtual std::int32_t GetItemIDCount(const ITEMIDLIST* list) = 0;
  virtual void FreeItemIDList(ITEMIDLIST* list) = 0;

  virtual bool IsNT() = 0;
  virtual bool IsWin98OrLater() = 0;
  virtual bool IsWinMEOrLater() = 0;
  virtual bool IsWin2000OrLater() = 0;
  virtual bool IsWinXPOrLater() = 0;
  virtual bool IsVistaOrLater() = 0;
  // The folder of a shell special-folder id, as the shell's list of it names
  // it; CInvalidArgError for an id not known here.
  virtual P<IURI> GetSpecialFolder(std::int32_t folderId) = 0;
};

}  // namespace lumo::win32
