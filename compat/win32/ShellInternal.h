// The trash behind SHFileOperationW, open to its tests. Internal to compat.
#pragma once

#include <string>

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// How an item reaches the trash: renamed into it when both are on one file
// system, else copied and then removed; kCopy always copies.
enum class TrashMove { kRenameOrCopy, kCopy };

// Moves the item at the absolute POSIX path `item` into the user's trash with
// its .trashinfo record. A name the trash holds already, in files/ or info/,
// is left alone: the item takes the first free one of "name.ext",
// "name.2.ext", "name.3.ext", ... in both. A copy that fails part-way (a pipe
// inside a folder, a full disk) is undone, record and all, and the item stays
// where it was. Answers the Windows code.
DWORD MoveToTrash(const std::string& item, TrashMove how = TrashMove::kRenameOrCopy);

}  // namespace compat::win32
