// File searches: FindFirstFileW, FindNextFileW, FindClose. The listing is
// taken whole at FindFirstFileW and handed out one entry at a time.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/FileInternal.h"
#include "compat/win32/Handle.h"
#include "compat/win32/StringConv.h"

namespace compat::win32 {
namespace {

struct FoundEntry {
  std::u16string name;
  DWORD attributes;
  std::uint64_t size;
  FILETIME created, accessed, written;
};

class FindObject final : public KernelObject {
 public:
  explicit FindObject(std::vector<FoundEntry> entries) : entries_(std::move(entries)) {}
  // Fills `data` with the next entry; false at the end.
  bool Next(WIN32_FIND_DATAW& data) {
    std::lock_guard guard(lock_);
    if (next_ == entries_.size()) return false;
    const FoundEntry& entry = entries_[next_++];
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.attributes;
    data.ftCreationTime = entry.created;
    data.ftLastAccessTime = entry.accessed;
    data.ftLastWriteTime = entry.written;
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    const std::size_t n = std::min<std::size_t>(entry.name.size(), MAX_PATH - 1);
    std::memcpy(data.cFileName, entry.name.data(), n * sizeof(WCHAR));
    return true;
  }

 private:
  std::mutex lock_;
  std::vector<FoundEntry> entries_;
  std::size_t next_ = 0;
};

// "*" is any run, "?" one character; a pattern ending in ".*" also matches
// without the dot ("*.*" is everything, "readme.*" finds "readme"). Both
// sides come upper-cased.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  if (p == pattern.size()) return true;
  return pattern.substr(p) == u".*";
}

// The entries of `folder` whose names match `pattern`, as Windows lists them:
// "." and ".." first (not in the root, which has neither), then by name
// without case.
std::vector<FoundEntry> Search(const std::string& folder, std::u16string_view pattern, DWORD& error) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    error = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
    return {};
  }
  // Entries are looked at relative to the open folder: no walk of the
  // folder's path for each of them.
  const int at = dirfd(dir);
  const auto entryOf = [&](std::string_view name, std::u16string wide, FoundEntry& item) {
    const std::string path = (folder.back() == '/' ? folder : folder + "/") + std::string(name);
    const char* entry = path.c_str() + path.size() - name.size();
    struct stat st;
    if (fstatat(at, entry, &st, 0) != 0 && fstatat(at, entry, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;  // gone meanwhile
    item = FoundEntry{std::move(wide), AttributesOf(st, path, at),
                      S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size), ToFileTime(FileTimeTicks(st.st_mtim)),
                      ToFileTime(FileTimeTicks(st.st_atim)), ToFileTime(FileTimeTicks(st.st_mtim))};
    return true;
  };
  // A plain name that exists as written needs no listing.
  if (pattern.find_first_of(u"*?") == std::u16string_view::npos && pattern != u"." && pattern != u"..") {
    FoundEntry item;
    if (entryOf(Utf16ToFileName(pattern), std::u16string(pattern), item)) {
      closedir(dir);
      return {std::move(item)};
    }
  }
  // Whether the folder is the root, which has no "." or "..": resolving the
  // path costs a system call for each of its folders, so it is asked only
  // when a pattern takes those entries in.
  std::optional<bool> isRoot;
  const std::u16string foldedPattern = FoldFileName(pattern);
  std::vector<std::pair<std::u16string, FoundEntry>> found;  // by sort key
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    const bool dots = name == "." || name == "..";
    const std::u16string wide = FileNameToUtf16(name);
    std::u16string folded = FoldFileName(wide);
    if (!WildcardMatch(foldedPattern, folded)) continue;
    if (dots && !isRoot) {
      char resolved[PATH_MAX];
      isRoot = realpath(folder.c_str(), resolved) != nullptr && std::strcmp(resolved, "/") == 0;
    }
    if (dots && *isRoot) continue;
    FoundEntry item;
    if (!entryOf(name, wide, item)) continue;
    // "." and ".." sort before every name.
    found.emplace_back((dots ? u"\x01" : u"\x02") + folded + u'\0' + item.name, std::move(item));
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FoundEntry> entries;
  entries.reserve(found.size());
  for (auto& [key, entry] : found) entries.push_back(std::move(entry));
  if (entries.empty()) error = ERROR_FILE_NOT_FOUND;
  return entries;
}

bool IsFind(const KernelObject& object) { return dynamic_cast<const FindObject*>(&object) != nullptr; }

}  // namespace
}  // namespace compat::win32

using namespace compat::win32;

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (pattern == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  const std::u16string_view text(pattern);
  // The folder part, with its separator; "Z:name" has the drive as folder.
  std::size_t split = text.find_last_of(u"\\/");
  split = split != std::u16string_view::npos ? split + 1
          : (text.size() >= 2 && text[1] == u':') ? 2
                                                   : 0;
  const std::u16string_view folderPart = text.substr(0, split);
  const std::u16string_view namePart = text.substr(split);
  if (namePart.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (folderPart.find_first_of(u"*?") != std::u16string_view::npos) {
    return Fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  }
  const std::optional<std::string> folder = folderPart.empty() ? std::optional<std::string>(".")
                                                               : PosixPath(folderPart);
  if (!folder) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  DWORD error = ERROR_SUCCESS;
  std::vector<FoundEntry> entries = Search(*folder, namePart, error);
  if (entries.empty()) return Fail(error, INVALID_HANDLE_VALUE);
  auto find = std::make_shared<FindObject>(std::move(entries));
  find->Next(*data);
  return InsertHandle(std::move(find));
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
  const auto search = ObjectOfHandle<FindObject>(find);
  if (!search) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (data == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  if (!search->Next(*data)) return Fail<BOOL>(ERROR_NO_MORE_FILES, FALSE);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE find) {
  if (!RemoveHandle(find, IsFind)) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
