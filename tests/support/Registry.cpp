// Registry helpers for tests.
#include "tests/support/Registry.h"

#include <stdexcept>

#include "compat/win32/Error.h"

namespace testing_support {
namespace {

compat::win32::ScopedKey CreateKey(HKEY root, const std::u16string& key) {
  compat::win32::ScopedKey handle;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.Receive(), nullptr) !=
      ERROR_SUCCESS) {
    throw std::runtime_error("cannot create a registry key for the test");
  }
  return handle;
}

}  // namespace

void SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value) {
  RegSetValueExW(CreateKey(root, key).Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

void SetRegDword(HKEY root, const std::u16string& key, const std::u16string& name,
                 std::uint32_t value) {
  RegSetValueExW(CreateKey(root, key).Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
}

std::optional<std::u16string> GetRegString(HKEY root, const std::u16string& key,
                                           const std::u16string& name) {
  std::u16string text;
  if (compat::win32::ReadRegText(root, key.c_str(), name.c_str(), &text) != ERROR_SUCCESS) return std::nullopt;
  return text;
}

std::optional<std::uint32_t> GetRegDword(HKEY root, const std::u16string& key,
                                         const std::u16string& name) {
  DWORD value = 0;
  if (compat::win32::ReadRegDword(root, key.c_str(), name.c_str(), &value) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

}  // namespace testing_support
