// Windows paths and the POSIX paths they name.
//
// Drive Z: is the POSIX root ("Z:\home\ann\a.txt" is /home/ann/a.txt); a
// POSIX absolute path is accepted wherever a Windows path is; "\\?\"
// prefixes are understood; other drives and UNC hosts are not found.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace compat::win32 {

// The POSIX path for a Windows (or POSIX) path; nothing for a path on a drive
// or host that is not mapped.
std::optional<std::string> PosixPath(std::u16string_view windowsPath);
// The Windows form of a POSIX absolute path: "Z:" and the path with backslashes.
std::u16string WindowsPath(std::string_view posixPath);

// The folder that holds `path` ("/" for the root and what lies directly in
// it, "." for a bare name); trailing slashes are ignored.
std::string ParentFolder(std::string_view path);
// The last component of `path`, trailing slashes ignored.
std::string_view LastComponent(std::string_view path);

}  // namespace compat::win32
