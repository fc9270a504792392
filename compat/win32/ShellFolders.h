// Where the user's special folders are, from the freedesktop user
// directories, and the registry key that names them for programs that read
// it. Internal to compat.
#pragma once

#include <string>
#include <string_view>

namespace compat::win32 {

namespace registry {
class Hive;
}  // namespace registry

// The POSIX folder of a special folder (CSIDL_*); empty for one not known here.
//   Desktop, Personal:  XDG_DESKTOP_DIR, XDG_DOCUMENTS_DIR of user-dirs.dirs,
//                       else ~/Desktop, ~/Documents
//   AppData:            $XDG_CONFIG_HOME, else ~/.config
//   Local AppData:      $XDG_DATA_HOME, else ~/.local/share
//   Windows:            the root of drive Z:
std::string SpecialFolderPath(int folder);

// The folder an entry of user-dirs.dirs (`entry` is "XDG_DESKTOP_DIR")
// names in `text`, the file's contents, with $HOME standing for `home`;
// empty when no valid line names it.
std::string UserDirsEntry(std::string_view text, std::string_view entry, const std::string& home);

// Gives the current user's hive the key
// Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders with the
// values "Desktop", "Personal", "AppData" and "Local AppData" when it has no
// such key and can be written; a key already there is left as it is.
void FillShellFolders(registry::Hive& hive);

}  // namespace compat::win32
