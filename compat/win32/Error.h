// The calling thread's last-error code and the Win32 error numbers the code
// base relies on. errno is turned into these codes inside compat, nowhere else.
#pragma once

#include "compat/win32/WinTypes.h"

// Every error code compat returns, with the English text FormatMessageW
// gives for it: X(name, code, text).
#define COMPAT_WIN32_ERRORS(X) \
  X(ERROR_SUCCESS, 0, "The operation completed successfully.") \
  X(ERROR_INVALID_FUNCTION, 1, "Incorrect function.") \
  X(ERROR_FILE_NOT_FOUND, 2, "The system cannot find the file specified.") \
  X(ERROR_PATH_NOT_FOUND, 3, "The system cannot find the path specified.") \
  X(ERROR_TOO_MANY_OPEN_FILES, 4, "The system cannot open the file.") \
  X(ERROR_ACCESS_DENIED, 5, "Access is denied.") \
  X(ERROR_INVALID_HANDLE, 6, "The handle is invalid.") \
  X(ERROR_NOT_ENOUGH_MEMORY, 8, "Not enough memory resources are available to process this command.") \
  X(ERROR_INVALID_DATA, 13, "The data is invalid.") \
  X(ERROR_OUTOFMEMORY, 14, "Not enough memory resources are available to complete this operation.") \
  X(ERROR_NO_MORE_FILES, 18, "There are no more files.") \
  X(ERROR_NOT_SAME_DEVICE, 17, "The system cannot move the file to a different disk drive.") \
  X(ERROR_NOT_READY, 21, "The device is not ready.") \
  X(ERROR_WRITE_FAULT, 29, "The system cannot write to the specified device.") \
  X(ERROR_READ_FAULT, 30, "The system cannot read from the specified device.") \
  X(ERROR_SHARING_VIOLATION, 32, \
    "The process cannot access the file because it is being used by another process.") \
  X(ERROR_LOCK_VIOLATION, 33, \
    "The process cannot access the file because another process has locked a portion of the file.") \
  X(ERROR_HANDLE_EOF, 38, "Reached the end of the file.") \
  X(ERROR_NOT_SUPPORTED, 50, "The request is not supported.") \
  X(ERROR_FILE_EXISTS, 80, "The file exists.") \
  X(ERROR_INVALID_PARAMETER, 87, "The parameter is incorrect.") \
  X(ERROR_BROKEN_PIPE, 109, "The pipe has been ended.") \
  X(ERROR_DISK_FULL, 112, "There is not enough space on the disk.") \
  X(ERROR_INSUFFICIENT_BUFFER, 122, "The data area passed to a system call is too small.") \
  X(ERROR_INVALID_NAME, 123, "The filename, directory name, or volume label syntax is incorrect.") \
  X(ERROR_MOD_NOT_FOUND, 126, "The specified module could not be found.") \
  X(ERROR_PROC_NOT_FOUND, 127, "The specified procedure could not be found.") \
  X(ERROR_NEGATIVE_SEEK, 131, \
    "An attempt was made to move the file pointer before the beginning of the file.") \
  X(ERROR_SEEK_ON_DEVICE, 132, "The file pointer cannot be set on the specified device or file.") \
  X(ERROR_DIR_NOT_EMPTY, 145, "The directory is not empty.") \
  X(ERROR_BAD_PATHNAME, 161, "The specified path is invalid.") \
  X(ERROR_ALREADY_EXISTS, 183, "Cannot create a file when that file already exists.") \
  X(ERROR_ENVVAR_NOT_FOUND, 203, "The system could not find the environment option that was entered.") \
  X(ERROR_FILENAME_EXCED_RANGE, 206, "The filename or extension is too long.") \
  X(ERROR_FILE_TOO_LARGE, 223, "The file size exceeds the limit allowed and cannot be saved.") \
  X(ERROR_PIPE_NOT_CONNECTED, 233, "No process is on the other end of the pipe.") \
  X(ERROR_MORE_DATA, 234, "More data is available.") \
  X(ERROR_NO_MORE_ITEMS, 259, "No more data is available.") \
  X(ERROR_DIRECTORY, 267, "The directory name is invalid.") \
  X(ERROR_NOT_OWNER, 288, "Attempt to release mutex not owned by caller.") \
  X(ERROR_ARITHMETIC_OVERFLOW, 534, "Arithmetic result exceeded 32 bits.") \
  X(ERROR_MR_MID_NOT_FOUND, 317, \
    "The system cannot find message text for message number 0x%1 in the message file for %2.") \
  X(ERROR_INVALID_FLAGS, 1004, "Invalid flags.") \
  X(ERROR_BADDB, 1009, "The configuration registry database is corrupt.") \
  X(ERROR_BADKEY, 1010, "The configuration registry key is invalid.") \
  X(ERROR_CANTOPEN, 1011, "The configuration registry key could not be opened.") \
  X(ERROR_CANTREAD, 1012, "The configuration registry key could not be read.") \
  X(ERROR_CANTWRITE, 1013, "The configuration registry key could not be written.") \
  X(ERROR_REGISTRY_IO_FAILED, 1016, "An I/O operation initiated by the registry failed unrecoverably.") \
  X(ERROR_KEY_DELETED, 1018, \
    "Illegal operation attempted on a registry key that has been marked for deletion.") \
  X(ERROR_CHILD_MUST_BE_VOLATILE, 1021, "Cannot create a stable subkey under a volatile parent key.") \
  X(ERROR_NO_UNICODE_TRANSLATION, 1113, \
    "No mapping for the Unicode character exists in the target multi-byte code page.") \
  X(ERROR_INVALID_WINDOW_HANDLE, 1400, "Invalid window handle.") \
  X(ERROR_INVALID_CURSOR_HANDLE, 1402, "Invalid cursor handle.") \
  X(ERROR_CANNOT_FIND_WND_CLASS, 1407, "Cannot find window class.") \
  X(ERROR_CLASS_ALREADY_EXISTS, 1410, "Class already exists.") \
  X(ERROR_INVALID_THREAD_ID, 1444, "Invalid thread identifier.") \
  X(ERROR_MENU_ITEM_NOT_FOUND, 1456, "A menu item was not found.") \
  X(ERROR_DATATYPE_MISMATCH, 1629, "The data is of the wrong type.") \
  X(ERROR_UNSUPPORTED_TYPE, 1630, "Data of this type is not supported.") \
  X(ERROR_RESOURCE_DATA_NOT_FOUND, 1812, "The specified image file did not contain a resource section.") \
  X(ERROR_RESOURCE_TYPE_NOT_FOUND, 1813, "The specified resource type cannot be found in the image file.") \
  X(ERROR_RESOURCE_NAME_NOT_FOUND, 1814, "The specified resource name cannot be found in the image file.") \
  X(ERROR_RESOURCE_LANG_NOT_FOUND, 1815, \
    "The specified resource language ID cannot be found in the image file.") \
  X(ERROR_CANT_RESOLVE_FILENAME, 1921, "The name of the file cannot be resolved by the system.")

#define COMPAT_WIN32_ERROR_CONSTANT(name, code, text) inline constexpr long name = code;
COMPAT_WIN32_ERRORS(COMPAT_WIN32_ERROR_CONSTANT)
#undef COMPAT_WIN32_ERROR_CONSTANT
inline constexpr long NO_ERROR = ERROR_SUCCESS;

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) static_cast<WORD>((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary))

// Only FORMAT_MESSAGE_FROM_SYSTEM (optionally with IGNORE_INSERTS) into a
// caller's buffer: the English text of a system error code, with its
// trailing "\r\n" as Windows writes it. Returns the characters written.
// The texts are English: `languageId` is 0 (the usual search) or a neutral or
// English language id; any other is ERROR_RESOURCE_LANG_NOT_FOUND.
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, void* arguments);

namespace compat::win32 {
// The one place errno becomes a Win32 code. `missingFolder` picks
// ERROR_PATH_NOT_FOUND over ERROR_FILE_NOT_FOUND for a missing folder on the
// way to the file, as Windows distinguishes them.
DWORD ErrorFromErrno(int err, bool missingFolder = false);
}  // namespace compat::win32
