// The registry: hives kept in SQLite databases, one per root, with the Win32
// functions over them. Keys and value names keep their spelling but compare
// without case; values keep their type codes and bytes.
//
//   compat::win32::ScopedKey key;
//   if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\korvane", 0, KEY_READ, key.Receive()) == ERROR_SUCCESS) {
//     DWORD size = sizeof buffer;
//     RegGetValueW(key.Get(), nullptr, u"Version", RRF_RT_REG_SZ, nullptr, buffer, &size);
//   }
#pragma once

#include <string>

#include "compat/win32/Error.h"
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

// RegGetValueW: the types a read accepts, and how it treats what it finds.
#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

#define REG_OPTION_NON_VOLATILE 0x0000
#define REG_OPTION_VOLATILE 0x0001
#define REG_OPTION_OPEN_LINK 0x0008
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// Reserved arguments must be zero, and RegOpenKeyExW takes no option but
// REG_OPTION_OPEN_LINK (the hives hold no links, so it opens the key itself):
// anything else is ERROR_INVALID_PARAMETER, as a caller's slip should show.
LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                            LPDWORD disposition);
LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI RegCloseKey(HKEY key);
LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize);
// One value read whole, from `key` or its `subKey`, in one look at the hive:
// a type outside `flags` is ERROR_UNSUPPORTED_TYPE; text types come out as
// whole UTF-16 units with their terminator (two for REG_MULTI_SZ), added
// when the stored bytes lack it and counted in the size; REG_EXPAND_SZ is
// expanded and reported as REG_SZ unless RRF_NOEXPAND; a null `data` asks
// for the size; a short buffer is ERROR_MORE_DATA with the size needed.
LONG WINAPI RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type,
                         PVOID data, LPDWORD dataSize);
LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD dataSize);
LONG WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key that has no subkeys.
LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Deletes a key's subtree; with a null subKey the key's own values and subkeys.
LONG WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey);
// Deletes a key with everything below it, in one transaction; with a null or
// empty subKey the key itself (a root cannot go).
LONG WINAPI SHDeleteKeyW(HKEY key, LPCWSTR subKey);
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

// An open registry key, closed when its holder goes; moving hands it on.
// Closing a predefined root does nothing, so a root may be held too.
class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(ScopedKey&& other) noexcept : key_(other.Release()) {}
  ScopedKey& operator=(ScopedKey&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // Closes the key held and hands out the slot for an open call to fill.
  HKEY* Receive() {
    Reset();
    return &key_;
  }
  // Gives up the key without closing it.
  HKEY Release() {
    HKEY key = key_;
    key_ = nullptr;
    return key;
  }
  // Closes the key held and holds `key` instead.
  void Reset(HKEY key = nullptr) {
    if (key_ != nullptr && key_ != key) RegCloseKey(key_);
    key_ = key;
  }

 private:
  HKEY key_ = nullptr;
};

// Typed reads over RegGetValueW: ERROR_SUCCESS with the value, else the
// call's code (ERROR_FILE_NOT_FOUND, ERROR_UNSUPPORTED_TYPE, or what kept
// the hive from being read) and `value` untouched. Each takes its one type
// only: text is REG_SZ (an expandable string is another type, not expanded
// text) and ends at its first terminator; a number is a REG_DWORD of exactly
// four bytes.
LONG ReadRegText(HKEY key, LPCWSTR subKey, LPCWSTR name, std::u16string* value);
LONG ReadRegDword(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD* value);
// Whether a read that failed with `status` only found no value of the type
// asked for, as opposed to a hive that could not be read.
inline bool IsMissingValue(LONG status) {
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE ||
         status == ERROR_DATATYPE_MISMATCH;
}
// The folder that holds the hive databases: $ORBWEAVE_PREFIX when set, else
// $XDG_CONFIG_HOME/orbweave/registry (~/.config/orbweave/registry).
std::string HiveFolder();
// While one lives, the process's registry reads share one read transaction
// per hive, so that a run of settings reads takes each hive's locks once.
// Reads see this process's own writes, and another process's commits made
// before the hive's first read in the batch; later ones show once the batch
// ends. Meant for a bounded run of reads (a start-up step), never held while
// the program waits: an open read keeps other processes' checkpoints from
// passing it, so their logs grow.
class RegistryReadBatch {
 public:
  RegistryReadBatch();
  ~RegistryReadBatch();
  RegistryReadBatch(const RegistryReadBatch&) = delete;
  RegistryReadBatch& operator=(const RegistryReadBatch&) = delete;
};
// While one lives, the process's registry writes to each hive share one
// write transaction, which takes the hive's write lock and commits once for
// the whole run (an import), not at every call. The writes show to
// this process at once and to others when the last batch ends; a call that
// fails undoes its own changes only.
class RegistryWriteBatch {
 public:
  RegistryWriteBatch();
  // Commits, unless an exception is unwinding the batch: then nothing it
  // wrote stays.
  ~RegistryWriteBatch();
  RegistryWriteBatch(const RegistryWriteBatch&) = delete;
  RegistryWriteBatch& operator=(const RegistryWriteBatch&) = delete;
  // Ends the batch now: ERROR_SUCCESS, or why its writes could not be kept
  // (none of them is then).
  LONG Commit();

 private:
  bool open_ = true;
  int exceptions_;
};
// Ends the read transactions that live batches hold, for a call about to
// wait (a message box): the batches' next reads begin new ones.
void ReleaseHeldRegistryReads();
// Closes the hive databases so the next call opens them afresh (a test that
// changed a hive's permissions, say). Keys still open answer ERROR_KEY_DELETED
// until they are closed. A change of HiveFolder() does the same by itself.
void ResetRegistryForTests();
}  // namespace compat::win32
