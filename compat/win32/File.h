// Files and folders over POSIX, with Windows paths.
//
// Paths: drive Z: is the POSIX root ("Z:\home\ann\a.txt" is /home/ann/a.txt);
// a POSIX absolute path is accepted wherever a Windows path is; "\\?\"
// prefixes are understood; other drives and UNC hosts are not found.
#pragma once

#include "compat/win32/Path.h"
#include "compat/win32/Time.h"
#include "compat/win32/WinTypes.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFF))

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName);
// Deletes files and symbolic links; a folder, device, pipe or socket is
// refused with ERROR_ACCESS_DENIED, as Windows refuses to delete a device.
BOOL WINAPI DeleteFileW(LPCWSTR fileName);
BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI RemoveDirectoryW(LPCWSTR pathName);
// Share modes are enforced among the handles of this process. Opening never
// waits: a pipe without a writer opens at once, as a Windows pipe does.
HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                          HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      void* overlapped);
// FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for a character device,
// FILE_TYPE_PIPE for a pipe or socket, else FILE_TYPE_UNKNOWN.
DWORD WINAPI GetFileType(HANDLE file);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD moveMethod);
// Writes the file's data and metadata to the device; a handle opened
// without write access is refused with ERROR_ACCESS_DENIED.
BOOL WINAPI FlushFileBuffers(HANDLE file);
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

// Renames a file or folder. An existing target fails with
// ERROR_ALREADY_EXISTS unless MOVEFILE_REPLACE_EXISTING is given, which
// replaces files only (a folder on either side is ERROR_ACCESS_DENIED).
// Another file system takes MOVEFILE_COPY_ALLOWED and a file: it is copied,
// then the original removed; without the flag, or for a folder, the call
// fails with ERROR_NOT_SAME_DEVICE. No reboot here to delay anything to:
// MOVEFILE_DELAY_UNTIL_REBOOT is ERROR_INVALID_PARAMETER.
BOOL WINAPI MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
// MoveFileExW with MOVEFILE_COPY_ALLOWED: files move across file systems,
// folders do not.
BOOL WINAPI MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
// Copies a file's bytes, permissions and times. An existing target fails with
// ERROR_FILE_EXISTS when `failIfExists` is set, else it is replaced; the new
// bytes are written beside it first, so a failed copy leaves it as it was. A
// folder on either side, or a read-only target, is ERROR_ACCESS_DENIED; a
// file copied onto itself is ERROR_SHARING_VIOLATION.
BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);

// The process's current folder in its Windows form ("Z:\home\ann"), as
// GetTempPathW answers: the length written, or the size needed with the
// terminator when the buffer is too small.
DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
// The temporary folder with a trailing backslash ($TMPDIR, else /tmp).
DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer);

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

// Patterns with "*" and "?" in the last component only; "." and ".." are
// listed as Windows lists them. Ends with ERROR_NO_MORE_FILES.
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindClose(HANDLE find);
