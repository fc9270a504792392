// What a task window lists and makes of the user's choices, apart from its
// widgets: the rows of its list with their sizes, and the places a run uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "peers/orbcore/EngineView.h"

namespace orbcore {

struct ListedItem {
  std::string name;                    // a path of this machine, or a drive
  std::optional<std::uint64_t> bytes;  // none for a disc, whose size is known once it is read
  std::string onDisc;                  // a data disc item's folder on the disc
};

// "D: vendor model (/dev/sr0)".
std::string DriveName(const RecordedDrive& drive);

// A file's size, or a folder's with everything in it; 0 for what is not there.
std::uint64_t SizeOf(const std::string& path);

// The list: for a copy or a rip (`sourceImage` given) what is read, the
// image file when named, else the first drive; then the rows (a folder
// without its "\*.*") as this machine names them, with their sizes.
std::vector<ListedItem> ListedItems(const EngineView& view, const std::vector<InputRow>& rows,
                                    const std::optional<std::string>& sourceImage);

// The places of a run: `choice` indexes the view's drives, one past them
// is the image file `path`; a copy's or rip's `sourceImage` and the new
// disc box, where the window has them, replace the view's.
TaskPlaces ChosenPlaces(const EngineView& view, std::size_t choice, const std::string& path,
                        const std::optional<std::string>& sourceImage, std::optional<bool> newDisc);

}  // namespace orbcore
