// Drives compat's text conversions over arbitrary bytes. What decodes without
// loss must encode back to the same bytes; the size query must agree with the
// conversion; one unit less room must fail cleanly; and the registry's
// surrogate-keeping forms must bring every UTF-16 text back unit for unit.

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/StringConv.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

// Bytes to UTF-16 through the Win32 call: size query, then exactly that room.
// On failure `ok` is false and `error` holds the code left.
std::u16string ToWide(UINT codePage, DWORD flags, const char* bytes, int size, bool& ok, DWORD* error = nullptr) {
  const int needed = MultiByteToWideChar(codePage, flags, bytes, size, nullptr, 0);
  ok = needed > 0;
  if (error != nullptr) *error = GetLastError();
  if (!ok) return {};
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  Check(MultiByteToWideChar(codePage, flags, bytes, size, wide.data(), needed) == needed,
        "MultiByteToWideChar writes another size than it asked for");
  if (needed > 1) {
    std::vector<WCHAR> small(static_cast<std::size_t>(needed - 1));
    SetLastError(ERROR_SUCCESS);
    Check(MultiByteToWideChar(codePage, flags, bytes, size, small.data(), needed - 1) == 0 &&
              GetLastError() == ERROR_INSUFFICIENT_BUFFER,
          "MultiByteToWideChar fits into less room than it asked for");
  }
  return wide;
}

std::string ToBytes(UINT codePage, DWORD flags, const std::u16string& wide, bool& ok) {
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  ok = needed > 0;
  if (!ok) return {};
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  Check(WideCharToMultiByte(codePage, flags, wide.data(), length, bytes.data(), needed, nullptr, nullptr) == needed,
        "WideCharToMultiByte writes another size than it asked for");
  return bytes;
}

void CheckUtf8(const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  bool strictOk = false;
  bool lenientOk = false;
  DWORD strictError = ERROR_SUCCESS;
  const std::u16string strict = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, strictOk, &strictError);
  const std::u16string lenient = ToWide(CP_UTF8, 0, bytes.data(), size, lenientOk);
  Check(lenientOk, "lenient UTF-8 decoding fails");
  Check(lenient == compat::win32::Utf8ToUtf16(bytes), "Utf8ToUtf16 differs from MultiByteToWideChar");
  if (strictOk) {
    // Well-formed UTF-8 is lossless: back to the same bytes, in every form.
    Check(strict == lenient, "strict and lenient decoding differ on valid UTF-8");
    bool backOk = false;
    Check(ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, strict, backOk) == bytes && backOk, "UTF-8 round trip differs");
    Check(compat::win32::Utf16ToUtf8(strict) == bytes, "Utf16ToUtf8 round trip differs");
    Check(compat::win32::Utf8ToUtf16KeepingSurrogates(bytes) == strict, "surrogate-keeping decoding differs");
  } else {
    Check(strictError == ERROR_NO_UNICODE_TRANSLATION, "invalid UTF-8 fails with another code");
    Check(lenient.find(u'\uFFFD') != std::u16string::npos, "invalid UTF-8 decodes without a replacement");
  }
}

void CheckUtf16(const std::u16string& wide) {
  if (wide.empty()) return;
  // Any UTF-16, lone surrogates included, survives the registry's forms.
  Check(compat::win32::Utf8ToUtf16KeepingSurrogates(compat::win32::Utf16ToUtf8KeepingSurrogates(wide)) == wide,
        "surrogate-keeping round trip differs");
  bool strictOk = false;
  const std::string strict = ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, wide, strictOk);
  bool lenientOk = false;
  const std::string lenient = ToBytes(CP_UTF8, 0, wide, lenientOk);
  Check(lenientOk && lenient == compat::win32::Utf16ToUtf8(wide), "Utf16ToUtf8 differs from WideCharToMultiByte");
  if (strictOk) {
    Check(strict == lenient, "strict and lenient encoding differ on valid UTF-16");
    bool backOk = false;
    Check(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, strict.data(), static_cast<int>(strict.size()), backOk) == wide &&
              backOk,
          "UTF-16 round trip differs");
  }
}

// The "C" locale's code page is Latin-1, which keeps every byte.
void CheckAnsi(const std::string& bytes) {
  bool ok = false;
  const std::u16string wide = ToWide(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), ok);
  Check(ok && wide.size() == bytes.size(), "Latin-1 decoding changes the length");
  bool backOk = false;
  Check(ToBytes(CP_ACP, 0, wide, backOk) == bytes && backOk, "Latin-1 round trip differs");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CheckUtf8(bytes);
  CheckAnsi(bytes);
  std::u16string wide(size / 2, u'\0');
  std::memcpy(wide.data(), data, wide.size() * sizeof(char16_t));
  CheckUtf16(wide);
  return 0;
}
