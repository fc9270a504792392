// Stores arbitrary bytes as a registry value of an arbitrary type and reads
// them back the ways the programs do: RegGetValueW under each type
// restriction into an exactly sized buffer, the typed text and number reads
// the shell's settings use, and the emulated version, which is such a value.
// Nothing may crash or write past a buffer, and every answer must keep the
// size protocol.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Version.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

constexpr DWORD kTypes[] = {REG_NONE,      REG_SZ,    REG_EXPAND_SZ, REG_BINARY,  REG_DWORD,
                            REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_QWORD, 0x12345};
constexpr DWORD kFlags[] = {RRF_RT_ANY,
                            RRF_RT_REG_SZ,
                            RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ,
                            RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                            RRF_RT_ANY | RRF_NOEXPAND | RRF_ZEROONFAILURE,
                            RRF_RT_DWORD,
                            RRF_RT_QWORD | RRF_ZEROONFAILURE,
                            RRF_RT_REG_BINARY,
                            RRF_RT_REG_EXPAND_SZ};

constexpr const char16_t* kKey = u"Software\\Win32Compat";

// One read into a buffer of exactly `capacity` bytes (none when zero).
void ReadBack(DWORD flags, DWORD capacity) {
  std::unique_ptr<BYTE[]> buffer(capacity != 0 ? new BYTE[capacity] : nullptr);
  DWORD type = 0xcccccccc;
  DWORD size = capacity;
  const LONG status = RegGetValueW(HKEY_LOCAL_MACHINE, kKey, u"Version", flags, &type, buffer.get(), &size);
  if (status == ERROR_SUCCESS && buffer != nullptr) {
    Check(size <= capacity, "success with more bytes than the buffer holds");
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
      Check(size % 2 == 0 && size >= 2, "text of a broken length");
      Check(buffer[size - 1] == 0 && buffer[size - 2] == 0, "text without its terminator");
    }
  } else if (status == ERROR_MORE_DATA) {
    Check(buffer != nullptr && size > capacity, "more data reported for a buffer that was big enough");
  } else if (status != ERROR_SUCCESS) {
    Check(status == ERROR_UNSUPPORTED_TYPE || status == ERROR_DATATYPE_MISMATCH ||
              status == ERROR_INVALID_PARAMETER,
          "unexpected failure");
    Check(type == 0xcccccccc, "a failed read reported a type");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char folder[] = "/tmp/orbweave-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  setenv("ORBWEAVE_PREFIX", folder, 1);
  // The hives are closed at exit; the folder goes after them.
  std::atexit([] { std::filesystem::remove_all(folder); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const DWORD type = kTypes[data[0] % std::size(kTypes)];
  const DWORD capacity = data[1];
  data += 2;
  size -= 2;
  HKEY key = nullptr;
  Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
            ERROR_SUCCESS,
        "cannot make the key");
  Check(RegSetValueExW(key, u"Version", 0, type, data, static_cast<DWORD>(size)) == ERROR_SUCCESS,
        "cannot store the value");
  RegCloseKey(key);

  for (DWORD flags : kFlags) ReadBack(flags, capacity);
  DWORD needed = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, u"Version", RRF_RT_ANY, nullptr, nullptr, &needed) == ERROR_SUCCESS)
    ReadBack(RRF_RT_ANY, needed);

  std::u16string text;
  const LONG textStatus = compat::win32::ReadRegText(HKEY_LOCAL_MACHINE, kKey, u"Version", &text);
  Check(textStatus == ERROR_SUCCESS || compat::win32::IsMissingValue(textStatus), "text read failed");
  Check(text.find(u'\0') == std::u16string::npos, "text kept a terminator");
  DWORD number = 0;
  const LONG numberStatus = compat::win32::ReadRegDword(HKEY_LOCAL_MACHINE, kKey, u"Version", &number);
  Check(numberStatus == ERROR_SUCCESS || compat::win32::IsMissingValue(numberStatus), "number read failed");
  Check(numberStatus != ERROR_SUCCESS || (type == REG_DWORD && size == 4), "a number of the wrong shape");

  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  Check(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)) != FALSE, "no version");
  Check(version.dwPlatformId == VER_PLATFORM_WIN32_NT || version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS,
        "an unknown platform");
  return 0;
}
