// The value store over one open registry key, and the table of the registry
// roots by the names configurations keep them under.
//
//   HKEY root = lumo::win32::LookupBaseKey("HKEY_CURRENT_USER");
//   auto store = lumo::make<lumo::win32::CRegistryValueStore>(root, u"Software\\korvane",
//                                                             lumo::kValueStoreRead | lumo::kValueStoreWrite);
//   store->SetInt("Language", 1031);
//
// Value kinds and registry types: strings are REG_SZ with one terminator,
// 32-bit numbers and bools REG_DWORD, 64-bit numbers REG_QWORD, doubles
// (their 8 IEEE bytes) and byte blocks REG_BINARY. A failed registry call
// raises the system error of its code (CFileNotFoundError for code 2).
#pragma once

#include "compat/win32/Registry.h"
#include "foundation/Object.h"
#include "platform/IValueStore.h"

namespace lumo::win32 {

// The root named "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
// "HKEY_CLASSES_ROOT" or "HKEY_USERS", exactly so; any other name raises
// CError "Unknown registry base key: <name>", in the user's language.
HKEY LookupBaseKey(const String& name);

class CRegistryValueStore : public CObject, public virtual IValueStore {
 public:
  // Opens `path` ("\" between levels) below `base`. With kValueStoreWrite the
  // missing levels are created; without it a missing key leaves the store
  // without one, for reads that find nothing.
  CRegistryValueStore(HKEY base, const String& path, ValueStoreFlags flags);

  void SetString(const String& name, const String& value) override;
  void SetInt(const String& name, std::int32_t value) override;
  void SetInt64(const String& name, std::int64_t value) override;
  void SetBool(const String& name, bool value) override;
  void SetDouble(const String& name, double value) override;
  void SetMemoryBlock(const String& name, const P<IMemoryBlock>& block) override;
  void SetBinary(const String& name, const void* data, std::size_t size) override;

  String GetString(const String& name, const String& defaultValue, bool* found = nullptr) override;
  std::int32_t GetInt(const String& name, std::int32_t defaultValue, bool* found = nullptr) override;
  std::int64_t GetInt64(const String& name, std::int64_t defaultValue, bool* found = nullptr) override;
  bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) override;
  double GetDouble(const String& name, double defaultValue, bool* found = nullptr) override;
  P<IMemoryBlock> GetBinary(const String& name, const P<IMemoryBlock>& defaultValue,
                            bool* found = nullptr) override;

  P<IValueStore> OpenSubStore(const String& name, ValueStoreFlags flags) override;
  bool HasValue(const String& name) override;
  bool HasKey(const String& name) override;
  P<IConstEnum> GetValueNames() override;
  P<IConstEnum> GetKeyNames() override;
  void DeleteValue(const String& name) override;
  void DeleteKey(const String& name) override;

  // The registry keeps every write at once and reads afresh: nothing to do.
  void Flush() override {}
  void Reload() override {}

  // Whether the key was there (or made) when the store was opened.
  bool HasStoreKey() const { return static_cast<bool>(key); }

 private:
  void Write(const String& name, DWORD type, const void* data, std::size_t size);
  // Reads a value of exactly `size` bytes and type `type` into `out`.
  bool ReadFixed(const String& name, DWORD type, void* out, DWORD size);
  // The bytes of a value of type `type`; null when there is none.
  P<IMemoryBlock> ReadBlock(const String& name, DWORD type);
  P<IConstEnum> Names(bool keys);

  compat::win32::ScopedKey key;
};

}  // namespace lumo::win32
