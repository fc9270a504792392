// Task codes, start modes and the input each carries.
#include "peers/orbcore/TaskInput.h"

namespace orbcore {

InputKind InputKindOf(const LaunchRecord& record) {
  if (record.taskInput == nullptr) return InputKind::None;
  switch (record.taskCode) {
    case kTaskAudioCd: return InputKind::AudioList;
    case kTaskDataDisc: return record.startMode == kStartDataDiscList ? InputKind::DataList : InputKind::Unknown;
    case kTaskOpenProject: return InputKind::Project;
    default: return InputKind::Unknown;
  }
}

const char* TaskName(std::uint32_t taskCode) {
  switch (taskCode) {
    case kTaskAudioCd: return "audio CD from a list of files";
    case kTaskDataDisc: return "data disc";
    case kTaskCopyDisc: return "copy a disc";
    case kTaskOpenProject: return "open a project file";
    case kTaskRestoreBackup: return "restore a backup";
    case kTaskRipAudioCd: return "rip an audio CD";
    default: return "unknown task";
  }
}

const char* StartModeName(std::uint32_t startMode) {
  switch (startMode) {
    case kStartNormal: return "normal start";
    case kStartWithInput: return "start with the given input";
    case kStartDataDiscList: return "start with a data disc list";
    default: return "unknown start mode";
  }
}

}  // namespace orbcore
