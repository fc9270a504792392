// Dispatching a task to its writer, with the image target's care.
#include "peers/orbcore/Tasks.h"

#include <algorithm>
#include <filesystem>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "peers/orbcore/AudioImage.h"
#include "peers/orbcore/BurnSession.h"
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

// Blanks the rewritable disc in `drive` when it holds something.
TaskOutcome BlankDisc(const std::string& drive, TaskObserver& observer) {
  BurnLibrary burn;
  if (!burn.ok()) return {Failure::WriteFailed, "", "libburn did not start"};
  BurnDrive target(drive);
  if (!target.ok()) return {Failure::NoDrive, drive, burn.LastMessage()};
  return target.Blank(burn, observer);
}

// An audio CD goes to a drive the way it goes to an image file: decoded
// into a BIN/CUE pair (in a scratch folder), whose tracks are then
// written as one session.
TaskOutcome BurnAudioCd(const std::vector<std::string>& tracks, const TaskPlaces& places, TaskObserver& observer) {
  const ScratchFolder folder;
  if (folder.Path().empty()) return {Failure::TargetUnwritable, "", folder.Error()};
  const std::string cue = folder.Path() + "/disc.cue";
  TaskOutcome outcome = WriteAudioImage(tracks, cue, observer);
  if (outcome.Succeeded()) outcome = BurnImage(cue, places.drive, places.newDisc, observer);
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
      // A new disc on a rewritable one: blanked first. Otherwise a disc that
      // holds data already gets a further session.
      if (places.newDisc) {
        if (TaskOutcome blanked = BlankDisc(places.drive, observer); !blanked.Succeeded()) return blanked;
        return WriteDataDisc(sources, places.drive, observer);
      }
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
      if (places.drive.empty()) return {Failure::NoDrive, "", ""};
      return BurnAudioCd(tracks, places, observer);
    }
    case kTaskCopyDisc: {
      // An image is copied to an image file or written to the disc in the
      // drive; a disc is read into an image file or, with no image on
      // either side, copied to a blank disc in the same drive.
      if (!places.source.empty() && !places.target.empty()) return CopyImage(places.source, places.target, observer);
      if (places.drive.empty()) return {Failure::NoDrive, "", ""};
      if (!places.source.empty()) return BurnImage(places.source, places.drive, places.newDisc, observer);
      if (!places.target.empty()) return ReadDataDisc(places.drive, places.target, observer);
      return CopyDiscInOneDrive(places.drive, places.newDisc, observer);
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
