// The registry: hives kept in SQLite databases, one per root, with the Win32
// functions over them. Keys and value names keep their spelling but compare
// without case; values keep their type codes and bytes.
//
//   HKEY key;
//   if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\korvane", 0, KEY_READ, &key) == ERROR_SUCCESS) {
//     DWORD type, size = sizeof buffer;
//     RegQueryValueExW(key, u"Version", nullptr, &type, buffer, &size);
//     RegCloseKey(key);
//   }
#pragma once

#include <string>

#include "compat/win32/WinTypes.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003))))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x0000
#define REG_OPTION_VOLATILE 0x0001
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                            LPDWORD disposition);
LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI RegCloseKey(HKEY key);
LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize);
LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD dataSize);
LONG WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key that has no subkeys.
LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Deletes a key's subtree; with a null subKey the key's own values and subkeys.
LONG WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey);
// Names in the order the hive keeps them (case-insensitive name order).
LONG WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                          LPWSTR keyClass, LPDWORD classSize, void* lastWriteTime);
LONG WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                             LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                             LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                             LPDWORD securityDescriptor, void* lastWriteTime);

namespace compat::win32 {
// The folder that holds the hive databases: $ORBWEAVE_PREFIX when set, else
// $XDG_CONFIG_HOME/orbweave/registry (~/.config/orbweave/registry).
std::string HiveFolder();
// Closes the hive databases so the next call opens them afresh (a test that
// changed a hive's permissions, say). Keys still open answer ERROR_KEY_DELETED
// until they are closed. A change of HiveFolder() does the same by itself.
void ResetRegistryForTests();
}  // namespace compat::win32
