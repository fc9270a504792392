// A persistent tree of named, typed values: a store stands for one key of
// the tree, its values are the key's values and its sub-stores the subkeys.
//
//   lumo::P<lumo::IValueStore> settings = lumo::make<lumo::win32::CRegistryValueStore>(
//       HKEY_CURRENT_USER, u"Software\\korvane\\Korvane Orbweave 9", lumo::kValueStoreRead);
//   bool found = false;
//   std::int32_t first = settings->GetInt("FirstStart", 1, &found);
//
// Reads never fail for a missing value or key: they answer the default and
// set `found` (when given) to false. Writes and deletions on a store whose
// key is missing raise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/IEnum.h"
#include "foundation/MemoryBlock.h"
#include "foundation/Pointer.h"
#include "foundation/String.h"

namespace lumo {

// How a store is opened, a set of bits: writing also creates the key path.
using ValueStoreFlags = std::uint32_t;
inline constexpr ValueStoreFlags kValueStoreRead = 1;
inline constexpr ValueStoreFlags kValueStoreWrite = 2;

class IValueStore : public virtual IBase {
 public:
  virtual void SetString(const String& name, const String& value) = 0;
  virtual void SetInt(const String& name, std::int32_t value) = 0;
  virtual void SetInt64(const String& name, std::int64_t value) = 0;
  virtual void SetBool(const String& name, bool value) = 0;
  virtual void SetDouble(const String& name, double value) = 0;
  // A null block writes no bytes.
  virtual void SetMemoryBlock(const String& name, const P<IMemoryBlock>& block) = 0;
  virtual void SetBinary(const String& name, const void* data, std::size_t size) = 0;

  virtual String GetString(const String& name, const String& defaultValue, bool* found = nullptr) = 0;
  virtual std::int32_t GetInt(const String& name, std::int32_t defaultValue, bool* found = nullptr) = 0;
  virtual std::int64_t GetInt64(const String& name, std::int64_t defaultValue, bool* found = nullptr) = 0;
  virtual bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) = 0;
  virtual double GetDouble(const String& name, double defaultValue, bool* found = nullptr) = 0;
  virtual P<IMemoryBlock> GetBinary(const String& name, const P<IMemoryBlock>& defaultValue,
                                    bool* found = nullptr) = 0;

  // Empty when the subkey is missing and `flags` do not ask for writing.
  virtual P<IValueStore> OpenSubStore(const String& name, ValueStoreFlags flags) = 0;
  virtual bool HasValue(const String& name) = 0;
  virtual bool HasKey(const String& name) = 0;
  // Enumerators of the names as strings, in the store's order.
  virtual P<IConstEnum> GetValueNames() = 0;
  virtual P<IConstEnum> GetKeyNames() = 0;
  virtual void DeleteValue(const String& name) = 0;
  // Deletes the subkey with everything below it.
  virtual void DeleteKey(const String& name) = 0;

  // Writes what a store keeps back to its storage; reads what others wrote
  // meanwhile. Stores that always work on their storage do nothing here.
  virtual void Flush() = 0;
  virtual void Reload() = 0;
};

}  // namespace lumo
