#include "platform/win32/RegistryValueStore.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/CString.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IStringLocalizer.h"
#include "platform/ISystem.h"
#include "platform/win32/IWin32System.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"

namespace lumo::win32 {
namespace {

struct BaseKey {
  const char* name;
  HKEY key;
};

REGSAM AccessFor(ValueStoreFlags flags) {
  REGSAM access = 0;
  if (flags & kValueStoreRead) access |= KEY_READ;
  if (flags & kValueStoreWrite) access |= KEY_WRITE;
  return access;
}

// Creates `path` below `base`; when the system cannot make the whole path at
// once, makes its parent first (level by level, recursively) and tries again.
LONG CreatePath(HKEY base, const std::u16string& path, REGSAM access, HKEY* result) {
  LONG status = RegCreateKeyExW(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                result, nullptr);
  const std::size_t cut = path.rfind(u'\\');
  if (status != ERROR_FILE_NOT_FOUND || cut == std::u16string::npos) return status;
  compat::win32::ScopedKey parent;
  status = CreatePath(base, path.substr(0, cut), access, parent.Receive());
  if (status != ERROR_SUCCESS) return status;
  parent.Reset();
  return RegCreateKeyExW(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, result,
                         nullptr);
}

String FromUnits(const char16_t* text, std::size_t count) {
  return make<CWCharString>(text, static_cast<std::int32_t>(2 * count));
}

void Check(LONG status) {
  if (status != ERROR_SUCCESS) ThrowSystemError(static_cast<std::uint32_t>(status));
}

}  // namespace

HKEY LookupBaseKey(const String& name) {
  static const BaseKey kBaseKeys[] = {
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"HKEY_USERS", HKEY_USERS},
  };
  for (const BaseKey& base : kBaseKeys)
    if (name->compare(*String(base.name), 0, -1) == 0) return base.key;
  throw CError(Localize("lumo.win32.CRegistryValueStore.unknownBaseKey", "Unknown registry base key: %KEY%")
                   .replace("%KEY%", name));
}

CRegistryValueStore::CRegistryValueStore(HKEY base, const String& path, ValueStoreFlags flags) {
  const std::u16string levels = ToUTF16(path);
  const REGSAM access = AccessFor(flags);
  if (flags & kValueStoreWrite) {
    Check(CreatePath(base, levels, access, key.Receive()));
    return;
  }
  const LONG status = RegOpenKeyExW(base, levels.c_str(), 0, access, key.Receive());
  if (status != ERROR_FILE_NOT_FOUND) Check(status);
}

void CRegistryValueStore::Write(const String& name, DWORD type, const void* data, std::size_t size) {
  if (!key) ThrowSystemError(ERROR_ACCESS_DENIED);
  Check(RegSetValueExW(key.Get(), ToUTF16(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                       static_cast<DWORD>(size)));
}

void CRegistryValueStore::SetString(const String& name, const String& value) {
  const std::u16string text = ToUTF16(value);
  Write(name, REG_SZ, text.c_str(), 2 * (text.size() + 1));
}

void CRegistryValueStore::SetInt(const String& name, std::int32_t value) { Write(name, REG_DWORD, &value, 4); }

void CRegistryValueStore::SetInt64(const String& name, std::int64_t value) { Write(name, REG_QWORD, &value, 8); }

void CRegistryValueStore::SetBool(const String& name, bool value) { SetInt(name, value ? 1 : 0); }

void CRegistryValueStore::SetDouble(const String& name, double value) { Write(name, REG_BINARY, &value, 8); }

void CRegistryValueStore::SetMemoryBlock(const String& name, const P<IMemoryBlock>& block) {
  if (!block) {
    Write(name, REG_BINARY, nullptr, 0);
    return;
  }
  const IMemoryBlock& bytes = *block;
  Write(name, REG_BINARY, bytes.getData(), static_cast<std::size_t>(bytes.getSize()));
}

void CRegistryValueStore::SetBinary(const String& name, const void* data, std::size_t size) {
  Write(name, REG_BINARY, data, size);
}

bool CRegistryValueStore::ReadFixed(const String& name, DWORD type, void* out, DWORD size) {
  if (!key) return false;
  BYTE buffer[8];
  DWORD storedType = REG_NONE;
  DWORD storedSize = size;
  const LONG status = RegQueryValueExW(key.Get(), ToUTF16(name).c_str(), nullptr, &storedType, buffer, &storedSize);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  // A value larger than the buffer fails here with ERROR_MORE_DATA.
  Check(status);
  if (storedType != type || storedSize != size) return false;
  std::memcpy(out, buffer, size);
  return true;
}

P<IMemoryBlock> CRegistryValueStore::ReadBlock(const String& name, DWORD type) {
  if (!key) return nullptr;
  const std::u16string valueName = ToUTF16(name);
  // One read into a buffer that holds most settings, rather than one for the
  // size and one for the data; a larger value (or one that grew meanwhile)
  // is read again at the size the registry reported.
  P<IMemoryBlock> block = make<CMemoryBlock>();
  DWORD size = 256;
  for (;;) {
    block->setSize(static_cast<std::int32_t>(size));
    DWORD storedType = REG_NONE;
    const LONG status = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &storedType, block->getData(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return nullptr;
    if (status == ERROR_MORE_DATA) continue;
    Check(status);
    if (storedType != type) return nullptr;
    block->setSize(static_cast<std::int32_t>(size));
    return block;
  }
}

String CRegistryValueStore::GetString(const String& name, const String& defaultValue, bool* found) {
  const P<IMemoryBlock> block = ReadBlock(name, REG_SZ);
  const bool read = block && block->getSize() >= 2;
  if (found != nullptr) *found = read;
  if (!read) return defaultValue;
  // The stored text ends with its terminator, which the string leaves out.
  return FromUnits(reinterpret_cast<const char16_t*>(block->getData()),
                   static_cast<std::size_t>(block->getSize()) / 2 - 1);
}

std::int32_t CRegistryValueStore::GetInt(const String& name, std::int32_t defaultValue, bool* found) {
  std::int32_t value = defaultValue;
  const bool read = ReadFixed(name, REG_DWORD, &value, 4);
  if (found != nullptr) *found = read;
  return read ? value : defaultValue;
}

std::int64_t CRegistryValueStore::GetInt64(const String& name, std::int64_t defaultValue, bool* found) {
  std::int64_t value = defaultValue;
  const bool read = ReadFixed(name, REG_QWORD, &value, 8);
  if (found != nullptr) *found = read;
  return read ? value : defaultValue;
}

bool CRegistryValueStore::GetBool(const String& name, bool defaultValue, bool* found) {
  std::uint32_t value = 0;
  const bool read = ReadFixed(name, REG_DWORD, &value, 4);
  if (found != nullptr) *found = read;
  return read ? value != 0 : defaultValue;
}

double CRegistryValueStore::GetDouble(const String& name, double defaultValue, bool* found) {
  double value = defaultValue;
  const bool read = ReadFixed(name, REG_BINARY, &value, 8);
  if (found != nullptr) *found = read;
  return read ? value : defaultValue;
}

P<IMemoryBlock> CRegistryValueStore::GetBinary(const String& name, const P<IMemoryBlock>& defaultValue,
                                               bool* found) {
  P<IMemoryBlock> block = ReadBlock(name, REG_BINARY);
  if (found != nullptr) *found = static_cast<bool>(block);
  return block ? block : defaultValue;
}

P<IValueStore> CRegistryValueStore::OpenSubStore(const String& name, ValueStoreFlags flags) {
  if (!key) {
    if (flags & kValueStoreWrite) ThrowSystemError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  P<CRegistryValueStore> store = make<CRegistryValueStore>(key.Get(), name, flags);
  if (!store->HasStoreKey()) return nullptr;
  return store;
}

bool CRegistryValueStore::HasValue(const String& name) {
  return key && RegQueryValueExW(key.Get(), ToUTF16(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
}

bool CRegistryValueStore::HasKey(const String& name) {
  if (!key) return false;
  compat::win32::ScopedKey subKey;
  return RegOpenKeyExW(key.Get(), ToUTF16(name).c_str(), 0, KEY_QUERY_VALUE, subKey.Receive()) == ERROR_SUCCESS;
}

P<IConstEnum> CRegistryValueStore::Names(bool keys) {
  P<CConstArray> names = make<CConstArray>();
  if (key) {
    DWORD longest = 0;
    Check(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, keys ? &longest : nullptr, nullptr,
                           nullptr, keys ? nullptr : &longest, nullptr, nullptr, nullptr));
    const DWORD capacity = std::max<DWORD>(2 * longest, 2048) + 2;
    std::vector<char16_t> buffer(capacity);
    for (DWORD index = 0;; ++index) {
      DWORD size = capacity;
      const LONG status =
          keys ? RegEnumKeyExW(key.Get(), index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr)
               : RegEnumValueW(key.Get(), index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
      // The end of the list, or anything that keeps the next name from being read.
      if (status != ERROR_SUCCESS) break;
      names->add(FromUnits(buffer.data(), size).get());
    }
  }
  return names->enumerate();
}

P<IConstEnum> CRegistryValueStore::GetValueNames() { return Names(false); }

P<IConstEnum> CRegistryValueStore::GetKeyNames() { return Names(true); }

void CRegistryValueStore::DeleteValue(const String& name) {
  if (!key) ThrowSystemError(ERROR_FILE_NOT_FOUND);
  Check(RegDeleteValueW(key.Get(), ToUTF16(name).c_str()));
}

void CRegistryValueStore::DeleteKey(const String& name) {
  if (!key) ThrowSystemError(ERROR_FILE_NOT_FOUND);
  IWin32System* system = castOrThrow<IWin32System>(GetSystem());
  const std::u16string subKey = ToUTF16(name);
  // The NT family's own key deletion refuses keys with subkeys; the shell's removes the whole subtree.
  Check(system->IsNT() ? SHDeleteKeyW(key.Get(), subKey.c_str()) : RegDeleteKeyW(key.Get(), subKey.c_str()));
}

}  // namespace lumo::win32
