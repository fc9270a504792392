// Reads the small text files the program finds rather than is given: the
// user's folder file, the kernel's figures under /proc, configuration.
//
//   if (const auto text = compat::win32::ReadConfigFile(home + "/.config/user-dirs.dirs")) parse(*text);
//
// Someone else put these files there, so they are read as list files are:
// only a regular file, opened without waiting (a named pipe in its place
// cannot stall the caller) and checked again through the descriptor, and
// never more than a size limit (an endless device or a huge file cannot
// fill memory).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace compat::win32 {

inline constexpr std::size_t kConfigFileLimit = 64 * 1024;

// The whole file, or nothing when it is missing, unreadable, not a regular
// file or longer than `limit` bytes.
std::optional<std::string> ReadConfigFile(const std::string& path, std::size_t limit = kConfigFileLimit);

}  // namespace compat::win32
