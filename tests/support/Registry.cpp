// Registry helpers for tests.
#include "tests/support/Registry.h"

#include <stdexcept>
#include <vector>

#include "compat/win32/Error.h"

namespace testing_support {
namespace {

HKEY CreateKey(HKEY root, const std::u16string& key) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    throw std::runtime_error("cannot create a registry key for the test");
  }
  return handle;
}

bool Query(HKEY root, const std::u16string& key, const std::u16string& name, DWORD& type,
           std::vector<BYTE>& data) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    data.resize(size);
    status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, data.data(), &size);
  }
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

}  // namespace

void SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value) {
  HKEY handle = CreateKey(root, key);
  RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(handle);
}

void SetRegDword(HKEY root, const std::u16string& key, const std::u16string& name,
                 std::uint32_t value) {
  HKEY handle = CreateKey(root, key);
  RegSetValueExW(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(handle);
}

std::optional<std::u16string> GetRegString(HKEY root, const std::u16string& key,
                                           const std::u16string& name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!Query(root, key, name, type, data) || type != REG_SZ) return std::nullopt;
  std::u16string text(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::optional<std::uint32_t> GetRegDword(HKEY root, const std::u16string& key,
                                         const std::u16string& name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!Query(root, key, name, type, data) || type != REG_DWORD || data.size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
}

}  // namespace testing_support
