// Seeding and reading registry values in tests, over compat's registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compat/win32/Registry.h"

namespace testing_support {

// Creates the key as needed; raw data of any type, a terminated text, a DWORD.
void SetRegValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
                 const std::vector<BYTE>& data);
void SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value);
void SetRegDword(HKEY root, const std::u16string& key, const std::u16string& name,
                 std::uint32_t value);
std::optional<std::u16string> GetRegString(HKEY root, const std::u16string& key,
                                           const std::u16string& name);
std::optional<std::uint32_t> GetRegDword(HKEY root, const std::u16string& key,
                                         const std::u16string& name);

// Another process holding the lock that keeps SQLite's readers out of a
// database file (as an exclusive transaction does) until the object goes.
class ForeignLock {
 public:
  explicit ForeignLock(const std::string& file);
  ~ForeignLock();
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;
  bool held() const { return held_; }

 private:
  int child_ = -1;
  int release_ = -1;
  bool held_ = false;
};

}  // namespace testing_support
