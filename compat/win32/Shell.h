// The desktop shell: opening documents and web addresses, deleting into the
// trash, the user's special folders, and item-ID lists that name folders and
// files in the shell's namespace.
//
//   LPITEMIDLIST list = nullptr;
//   if (SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list) == S_OK) {
//     WCHAR path[MAX_PATH];
//     SHGetPathFromIDListW(list, path);  // "Z:\home\ann\Documents"
//     ILFree(list);
//   }
//
// An item-ID list is a run of items, each a 16-bit byte count (itself
// included) and that many bytes less two, ended by a count of zero. Here an
// item holds one name in UTF-16: the first a drive ("Z:\"), the others the
// folders and the file below it. The empty list is the desktop, the root of
// the namespace, whose path is the desktop folder.
#pragma once

#include "compat/win32/WinTypes.h"

#define FO_MOVE 0x0001
#define FO_COPY 0x0002
#define FO_DELETE 0x0003
#define FO_RENAME 0x0004
#define FOF_SILENT 0x0004
#define FOF_NOCONFIRMATION 0x0010
#define FOF_ALLOWUNDO 0x0040
#define FOF_NOERRORUI 0x0400

struct SHFILEOPSTRUCTW {
  HWND hwnd;
  UINT wFunc;
  LPCWSTR pFrom;  // names, each ended by a zero, the list by a second zero
  LPCWSTR pTo;
  WORD fFlags;
  BOOL fAnyOperationsAborted;
  LPVOID hNameMappings;
  LPCWSTR lpszProgressTitle;
};
using LPSHFILEOPSTRUCTW = SHFILEOPSTRUCTW*;

// Only FO_DELETE with FOF_ALLOWUNDO: each named file or folder moves into the
// user's freedesktop trash with its .trashinfo record, from where the file
// manager restores it. Nothing is deleted outright: any other function or a
// delete without FOF_ALLOWUNDO answers ERROR_NOT_SUPPORTED. Stops at the first
// item that fails and answers its Win32 code (ERROR_FILE_NOT_FOUND for a name
// that is gone), 0 when all went.
int WINAPI SHFileOperationW(LPSHFILEOPSTRUCTW operation);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWDEFAULT 10
#define SE_ERR_FNF 2
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

// Opens `file` (a web address, or a Windows or POSIX path) with the desktop's
// handler through `xdg-open`, started directly with the file as its one
// argument: no shell sees the text, so quotes, blanks, newlines and "$(...)"
// reach the handler unchanged. `verb` must be null or "open"; parameters are
// not supported (null or empty); `directory`, when given, is where xdg-open
// runs. Waits for xdg-open, which ends once the handler has started.
// Answers a value above 32 on success; on failure one of 32 or less:
// SE_ERR_FNF when there is no xdg-open on PATH or the path is not mapped,
// SE_ERR_ACCESSDENIED when no display is named (DISPLAY, WAYLAND_DISPLAY),
// SE_ERR_NOASSOC for another verb, parameters, or a handler that failed
// (xdg-open ended with a non-zero status).
HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                               INT showCommand);

#define S_OK (static_cast<HRESULT>(0))
#define E_NOTIMPL (static_cast<HRESULT>(0x80004001))
#define E_FAIL (static_cast<HRESULT>(0x80004005))
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000E))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057))

// The special folders the shell knows here.
#define CSIDL_DESKTOP 0x0000
#define CSIDL_PERSONAL 0x0005
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_WINDOWS 0x0024

#pragma pack(push, 1)
struct SHITEMID {
  WORD cb;  // bytes of the item, this count included; 0 ends the list
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

// The shell's task allocator; lists handed out by the shell come from it and
// go back to it.
LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size);
void WINAPI CoTaskMemFree(LPVOID block);

// The allocator as the object SHGetMalloc hands out (one for the process;
// counting references on it changes nothing).
struct IMalloc {
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;
  virtual LPVOID WINAPI Alloc(SIZE_T size) = 0;
  virtual LPVOID WINAPI Realloc(LPVOID block, SIZE_T size) = 0;
  virtual void WINAPI Free(LPVOID block) = 0;

 protected:
  ~IMalloc() = default;
};
HRESULT WINAPI SHGetMalloc(IMalloc** allocator);

// The next item of a list; null at its end (and for a null list).
LPITEMIDLIST WINAPI ILGetNext(LPCITEMIDLIST list);
// The last item; the list itself when it is empty.
LPITEMIDLIST WINAPI ILFindLastID(LPCITEMIDLIST list);
// Bytes of the whole list with its ending zero count; 0 for a null list.
UINT WINAPI ILGetSize(LPCITEMIDLIST list);
// New lists from the task allocator; null when out of memory.
LPITEMIDLIST WINAPI ILClone(LPCITEMIDLIST list);
LPITEMIDLIST WINAPI ILCombine(LPCITEMIDLIST first, LPCITEMIDLIST second);
void WINAPI ILFree(LPITEMIDLIST list);

// The desktop folder, the root of the namespace. Only what turns a path into
// a list is offered; the object is counted and goes with its last Release.
struct IShellFolder {
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;
  // The list for a Windows path of a mapped drive (or a POSIX absolute
  // path), whether or not the item exists: E_INVALIDARG for a relative or
  // unmapped path. `eaten` and `attributes` may be null; attributes are
  // reported as none.
  virtual HRESULT WINAPI ParseDisplayName(HWND owner, void* bindContext, LPWSTR displayName, ULONG* eaten,
                                          LPITEMIDLIST* list, ULONG* attributes) = 0;

 protected:
  ~IShellFolder() = default;
};
HRESULT WINAPI SHGetDesktopFolder(IShellFolder** folder);

// The path of a list into a buffer of MAX_PATH characters: the desktop folder
// for the empty list, the drive and the names joined by "\" otherwise. FALSE
// (and an empty buffer) for a list that is no path or does not fit.
BOOL WINAPI SHGetPathFromIDListW(LPCITEMIDLIST list, LPWSTR path);
// A new list for a special folder: CSIDL_DESKTOP is the empty list (the
// desktop itself), the others the list of their folder. E_INVALIDARG for a
// folder not known here.
HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST* list);
