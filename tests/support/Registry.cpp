// Registry helpers for tests.
#include "tests/support/Registry.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "compat/win32/Error.h"

namespace testing_support {

void SetRegValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
                 const std::vector<BYTE>& data) {
  compat::win32::ScopedKey handle;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.Receive(), nullptr) !=
          ERROR_SUCCESS ||
      RegSetValueExW(handle.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) !=
          ERROR_SUCCESS) {
    throw std::runtime_error("cannot write a registry value for the test");
  }
}

void SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value) {
  const auto* bytes = reinterpret_cast<const BYTE*>(value.c_str());
  SetRegValue(root, key, name, REG_SZ, {bytes, bytes + (value.size() + 1) * sizeof(char16_t)});
}

void SetRegDword(HKEY root, const std::u16string& key, const std::u16string& name,
                 std::uint32_t value) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&value);
  SetRegValue(root, key, name, REG_DWORD, {bytes, bytes + sizeof value});
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

ForeignLock::ForeignLock(const std::string& file) {
  int ready[2], release[2];
  if (pipe(ready) != 0) return;
  if (pipe(release) != 0) {
    close(ready[0]);
    close(ready[1]);
    return;
  }
  child_ = fork();
  if (child_ == 0) {
    close(release[1]);
    const int fd = open(file.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x40000000;  // SQLite's lock bytes
    lock.l_len = 512;
    char held = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1 || read(release[0], &held, 1) < 0) _exit(1);
    _exit(0);
  }
  char held = 'n';
  held_ = child_ > 0 && read(ready[0], &held, 1) == 1 && held == 'y';
  release_ = release[1];
  for (int fd : {ready[0], ready[1], release[0]}) close(fd);
}

ForeignLock::~ForeignLock() {
  if (release_ >= 0) close(release_);
  if (child_ > 0) waitpid(child_, nullptr, 0);
}

}  // namespace testing_support
