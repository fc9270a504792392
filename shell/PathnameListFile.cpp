// The path-name list reader.
#include "shell/PathnameListFile.h"

#include <string>

#include "compat/win32/File.h"
#include "compat/win32/Sync.h"

namespace {

// The whole file, or false when it cannot be opened or read to its end.
bool ReadWholeFile(const CString& path, std::string& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool whole = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart < 0x7FFFFFFF;
  if (whole) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    whole = bytes.empty() ||
            (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
             read == bytes.size());
  }
  CloseHandle(file);
  return whole;
}

}  // namespace

bool CPathnameListFile::Read(const CString& path) {
  paths_.clear();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;

  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  if (units.empty()) return true;
  // A big-endian file shows its byte order mark as 0xFFFE.
  if (units[0] == 0xFFFE) {
    for (char16_t& unit : units) unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
  }
  // The first unit is the byte order mark, whatever it holds.
  std::size_t start = 1;
  while (start <= units.size()) {
    std::size_t end = units.find(u'\n', start);
    if (end == std::u16string::npos) end = units.size();
    CString line(std::u16string_view(units).substr(start, end - start));
    line.Trim();
    if (!line.IsEmpty()) paths_.push_back(line);
    start = end + 1;
  }
  return true;
}
