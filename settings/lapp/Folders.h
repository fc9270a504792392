// Folder services of the settings store: uniquely named folders, folders
// created with their missing levels, and removal of a folder with all it holds.
// Paths are Windows paths as the platform layer takes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lapp {

// `path` with a closing backslash.
std::u16string WithBackslash(std::u16string path);
// Creates `parent` + prefix + eight hexadecimal digits + suffix; empty when
// the parent cannot hold a new folder.
std::u16string CreateUniqueFolder(const std::u16string& parent, std::u16string_view prefix,
                                  std::u16string_view suffix);
bool CreateFolderWithParents(const std::u16string& path);
void DeleteFolder(const std::u16string& folder);
// The system's temporary folder, with a closing backslash.
std::u16string SystemTempFolder();
bool FileExists(const std::u16string& path);
// Every file below `folder`, at all levels, as full paths.
std::vector<std::u16string> ListFilesBelow(const std::u16string& folder);
bool FolderExists(const std::u16string& path);

}  // namespace lapp
