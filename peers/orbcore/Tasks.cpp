// Dispatching a task to its writer, with the image target's care.
#include "peers/orbcore/Tasks.h"

#include <algorithm>
#include <filesystem>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "peers/orbcore/AudioImage.h"
#include "peers/orbcore/DiscReading.h"
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

std::optional<std::string> PosixPathOf(const std::string& windowsPath) {
  return compat::win32::PosixPath(compat::win32::Utf8ToUtf16KeepingSurrogates(windowsPath));
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

TaskOutcome DataSources(const std::vector<InputRow>& rows, std::vector<DataSource>& sources) {
  for (const InputRow& row : rows) {
    const std::string windowsPath = row.kind == "folder" ? WithoutWildcard(row.path) : row.path;
    std::optional<std::string> path = PosixPathOf(windowsPath);
    if (!path) return {Failure::SourceMissing, windowsPath, "not a path on this machine"};
    sources.push_back({std::move(*path), DiscFolder(row.target)});
  }
  return {};
}

TaskOutcome RunTask(const EngineView& view, const TaskPlaces& places, TaskObserver& observer) {
  switch (view.taskCode) {
    case kTaskDataDisc: {
      std::vector<DataSource> sources;
      if (TaskOutcome converted = DataSources(view.input, sources); !converted.Succeeded()) return converted;
      if (!places.target.empty()) {
        // libburn's stdio drive names files by absolute path.
        std::error_code error;
        const std::string target = std::filesystem::absolute(places.target, error).string();
        const std::string& path = error ? places.target : target;
        // An earlier image gets a further session, written to a copy of it.
        if (!places.newDisc && NotARegularFile(path).empty() && HoldsIsoFileSystem(path)) {
          return WriteToImage(path, [&](const std::string& file) {
            std::error_code copyError;
            std::filesystem::copy_file(path, file, std::filesystem::copy_options::overwrite_existing, copyError);
            if (copyError) return TaskOutcome{Failure::DiskFull, path, copyError.message()};
            return AppendDataSession(sources, "stdio:" + file, observer);
          });
        }
        return WriteToImage(path, [&](const std::string& file) { return WriteDataDisc(sources, "stdio:" + file, observer); });
      }
      if (places.drive.empty()) return {Failure::NoDrive, "", ""};
      // A disc that holds data already gets a further session.
      return AppendDataSession(sources, places.drive, observer);
    }
    case kTaskAudioCd: {
      std::vector<std::string> tracks;
      for (const InputRow& row : view.input) {
        std::optional<std::string> path = PosixPathOf(row.path);
        if (!path) return {Failure::AudioUndecodable, row.path, "not a path on this machine"};
        tracks.push_back(std::move(*path));
      }
      if (!places.target.empty()) return WriteAudioImage(tracks, places.target, observer);
      return {places.drive.empty() ? Failure::NoDrive : Failure::DriveTaskUnsupported, places.drive, ""};
    }
    case kTaskCopyDisc: {
      const std::string& source = places.source.empty() ? places.drive : places.source;
      if (source.empty()) return {Failure::NoDrive, "", ""};
      if (!places.target.empty()) return CopyImage(source, places.target, observer);
      return {places.drive.empty() ? Failure::NoDrive : Failure::DriveTaskUnsupported, places.drive, ""};
    }
    case kTaskRipAudioCd: {
      const std::string& source = places.source.empty() ? places.drive : places.source;
      if (source.empty()) return {Failure::NoDrive, "", ""};
      const std::string folder = places.target.empty() ? DefaultMusicFolder() : places.target;
      std::error_code error;
      std::filesystem::create_directories(folder, error);
      return RipAudio(source, folder, observer);
    }
    default: return {Failure::NothingToDo, "", ""};
  }
}

}  // namespace orbcore
