// Dispatching a task to its writer, with the image target's care.
#include "peers/orbcore/Tasks.h"

#include <algorithm>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "peers/orbcore/TargetFile.h"
#include "peers/orbcore/TaskInput.h"

namespace orbcore {

namespace {

// A folder item's path ends with "\*.*": everything in the folder.
std::string WithoutWildcard(std::string path) {
  constexpr std::string_view kAll = "\\*.*";
  if (path.ends_with(kAll)) path.resize(path.size() - kAll.size());
  return path;
}

// "\" or "\a\b" as the image's "/" or "/a/b".
std::string DiscFolder(std::string target) {
  std::replace(target.begin(), target.end(), '\\', '/');
  return target.empty() ? "/" : target;
}

// Writes through a temporary sibling of `target`, renamed over it at success.
template <typename Write>
TaskOutcome WriteToImage(const std::string& target, Write write) {
  std::string error;
  std::optional<TargetFile> file = TargetFile::Create(target, error);
  if (!file) {
    return {NotARegularFile(target).empty() ? Failure::TargetUnwritable : Failure::TargetNotAFile, target, error};
  }
  TaskOutcome outcome = write(file->TemporaryPath());
  if (outcome.Succeeded() && !file->Commit(error)) return {Failure::TargetUnwritable, target, error};
  if (outcome.failure == Failure::DiskFull) outcome.subject = target;
  return outcome;
}

}  // namespace

bool IsWritingTask(const EngineView& view) {
  return view.taskCode == kTaskDataDisc && view.startMode == kStartDataDiscList;
}

TaskOutcome DataSources(const std::vector<InputRow>& rows, std::vector<DataSource>& sources) {
  for (const InputRow& row : rows) {
    const std::string windowsPath = row.kind == "folder" ? WithoutWildcard(row.path) : row.path;
    std::optional<std::string> path =
        compat::win32::PosixPath(compat::win32::Utf8ToUtf16KeepingSurrogates(windowsPath));
    if (!path) return {Failure::SourceMissing, windowsPath, "not a path on this machine"};
    sources.push_back({std::move(*path), DiscFolder(row.target)});
  }
  return {};
}

TaskOutcome RunTask(const EngineView& view, const std::string& target, TaskObserver& observer) {
  std::vector<DataSource> sources;
  if (TaskOutcome converted = DataSources(view.input, sources); !converted.Succeeded()) return converted;
  if (target.empty()) return {Failure::NoDrive, "", ""};
  return WriteToImage(target, [&](const std::string& file) { return WriteDataDisc(sources, "stdio:" + file, observer); });
}

}  // namespace orbcore
