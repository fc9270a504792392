// Which task input the launch record carries, and the names of tasks and
// start modes as the engine shows them.
#pragma once

#include <cstdint>

#include "peers/orbcore/IgnisLaunch.h"

namespace orbcore {

enum class InputKind {
  None,       // no input pointer
  AudioList,  // AudioCdListInput
  DataList,   // DataDiscListInput
  Project,    // ProjectFileInput
  Unknown,    // a pointer the task code gives no meaning
};

// The input's layout follows from the task code (and for a data disc from
// the start mode: only a data disc list start carries a list).
InputKind InputKindOf(const LaunchRecord& record);

const char* TaskName(std::uint32_t taskCode);
const char* StartModeName(std::uint32_t startMode);

}  // namespace orbcore
