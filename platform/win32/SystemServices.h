// The system facts and path conversions that the platform classes share, as
// free functions until the system object gathers them.
//
//   lumo::String path = lumo::win32::ToWindowsPath(uri.get(), false);  // "C:\a\b.txt"
#pragma once

#include <cstdint>
#include <string>

#include "foundation/IURI.h"
#include "foundation/String.h"

namespace lumo::win32 {

// True when the running system is at least the given version of its family:
// (ntMajor, ntMinor) on the NT family, (otherMajor, otherMinor) on the other;
// a major of -1 means "never" for that family.
bool IsSystemVersionAtLeast(std::int32_t ntMajor, std::int32_t ntMinor, std::int32_t otherMajor,
                            std::int32_t otherMinor);

// The Windows path of a file URI: "/C:/a/b.txt" gives "C:\a\b.txt", a host
// gives a network path "\\host\share\x". A URI of another scheme gives its
// whole text when `keepOtherSchemes` is set, else the empty path, as does a
// null URI. A path of 240 characters or more takes the "\\?\" form on the
// NT family; where that cannot help, CError says so.
String ToWindowsPath(const IURI* uri, bool keepOtherSchemes);

// The text as UTF-16, for the system's wide-character calls.
std::u16string ToUTF16(const String& text);

}  // namespace lumo::win32
