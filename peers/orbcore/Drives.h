// The drive a task uses, from the list the drive-access library recorded
// below the settings key ("<settingsKey>\drives": subkeys "0", "1", ... with
// "Device" and "Letter"). The library scans the drives the first time a run
// asks for them.
#pragma once

#include <optional>
#include <string>

#include <vector>

namespace orbcore {

struct RecordedDrive {
  std::string device;
  std::string letter;  // "D:"; empty when the drive has none
  std::string name;    // vendor and model
};

// The drives in the order recorded.
std::vector<RecordedDrive> RecordedDrives(const std::string& settingsKey);

// The device of the drive with `letter` ("E:" or "e"), else of the first
// drive; nothing when no drive is recorded or none has the letter.
std::optional<std::string> ChosenDrive(const std::string& settingsKey, const std::optional<std::string>& letter);

}  // namespace orbcore
