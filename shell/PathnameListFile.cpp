// The path-name list reader.
#include "shell/PathnameListFile.h"

#include <algorithm>

#include "compat/win32/File.h"
#include "compat/win32/Sync.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// An open file, closed when it goes.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

void CPathnameListFile::Clear() {
  std::u16string().swap(text_);
  std::vector<std::uint32_t>().swap(starts_);
}

bool CPathnameListFile::Read(const CString& path) {
  Clear();
  error_ = kUnreadable;
  // A folder is refused by name; anything else that is not a regular file
  // is refused once open, by the handle, so that what was checked is what
  // is read. Opening never waits on a pipe.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = kNotAFile;
    return false;
  }
  const FileHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    error_ = kNotAFile;
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart >= 0x7FFFFFFF) return false;

  // The units are read straight into the buffer that keeps the lines; one
  // more slot leaves room for the last line's terminator.
  const auto bytes = static_cast<DWORD>(size.QuadPart);
  std::u16string text(bytes / 2 + 1, u'\0');
  DWORD read = 0;
  if (bytes > 0 && (!ReadFile(file.get(), text.data(), bytes, &read, nullptr) || read != bytes)) return false;
  error_ = kNone;
  const std::size_t units = bytes / 2;
  if (units == 0) return true;

  // UTF-16LE on this machine's byte order; a big-endian file shows its byte
  // order mark as 0xFFFE.
  for (std::size_t i = 0; i < units; ++i) {
    const auto b = reinterpret_cast<const unsigned char*>(&text[i]);
    text[i] = static_cast<char16_t>(b[0] | b[1] << 8);
  }
  if (text[0] == 0xFFFE) {
    for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>((text[i] >> 8) | (text[i] << 8));
  }

  // The first unit is the byte order mark, whatever it holds. Each kept line
  // moves down to `out` with a terminator in place of its line feed; a line
  // is never longer than what it is written over.
  std::size_t out = 0;
  std::size_t start = 1;
  while (start <= units) {
    std::size_t end = std::find(text.begin() + start, text.begin() + units, u'\n') - text.begin();
    std::size_t first = start;
    std::size_t last = end;
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    // No file name holds a NUL: such a line names nothing and is left out.
    const bool named = first < last && std::find(text.begin() + first, text.begin() + last, u'\0') ==
                                           text.begin() + last;
    if (named) {
      starts_.push_back(static_cast<std::uint32_t>(out));
      std::copy(text.begin() + first, text.begin() + last, text.begin() + out);
      out += last - first;
      text[out++] = u'\0';
    }
    start = end + 1;
  }
  // Not shrunk: the lines fill nearly all of it, and a copy would double
  // the peak for a moment.
  text.resize(out);
  text_ = std::move(text);
  return true;
}
