// The task window's list and places.
#include "peers/orbcore/TaskWindow.h"

#include <filesystem>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"

namespace orbcore {

std::string DriveName(const RecordedDrive& drive) { return drive.letter + " " + drive.name + " (" + drive.device + ")"; }

std::uint64_t SizeOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
  }
  std::uint64_t total = 0;
  for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) total += it->file_size(error);
  }
  return total;
}

std::vector<ListedItem> ListedItems(const EngineView& view, const std::vector<InputRow>& rows,
                                    const std::optional<std::string>& sourceImage) {
  std::vector<ListedItem> items;
  if (sourceImage && !sourceImage->empty()) {
    items.push_back({*sourceImage, SizeOf(*sourceImage), ""});
  } else if (sourceImage && !view.drives.empty()) {
    items.push_back({DriveName(view.drives.front()), std::nullopt, ""});
  }
  for (const InputRow& row : rows) {
    std::string path = row.path;
    if (row.kind == "folder" && path.ends_with("\\*.*")) path.resize(path.size() - 4);
    const std::optional<std::string> local = compat::win32::PosixPath(compat::win32::Utf8ToUtf16(path));
    items.push_back({local.value_or(path), SizeOf(local.value_or(path)), row.target});
  }
  return items;
}

TaskPlaces ChosenPlaces(const EngineView& view, std::size_t choice, const std::string& path,
                        const std::optional<std::string>& sourceImage, std::optional<bool> newDisc) {
  TaskPlaces places = view.places;
  if (choice < view.drives.size()) {
    places.target.clear();
    places.drive = view.drives[choice].device;
  } else {
    places.target = path;
  }
  if (sourceImage) places.source = *sourceImage;
  if (newDisc) places.newDisc = *newDisc;
  return places;
}

}  // namespace orbcore
