// The engine's messages with their keys and English defaults.
#include "peers/orbcore/EngineTexts.h"

#include <algorithm>
#include <cmath>

#include "peers/orbcore/IgnisLaunch.h"

namespace orbcore {

namespace {

struct FailureText {
  Failure failure;
  const char* key;
  const char* english;
};

constexpr FailureText kFailureTexts[] = {
    {Failure::NothingToDo, "Orbcore.Error.NothingToDo", "There is nothing to write: the list is empty."},
    {Failure::NoDrive, "Orbcore.Error.NoDrive",
     "No disc drive was found. Choose \"Write to image file\" to write an image instead."},
    {Failure::NoDisc, "Orbcore.Error.NoDisc", "There is no disc in the drive %FILE%."},
    {Failure::DiscNotWritable, "Orbcore.Error.DiscNotWritable",
     "The disc in %FILE% is neither blank nor can data be added to it."},
    {Failure::TargetNotAFile, "Orbcore.Error.TargetNotAFile",
     "\"%FILE%\" is not a file; the image was not written there."},
    {Failure::TargetUnwritable, "Orbcore.Error.TargetUnwritable", "The image \"%FILE%\" cannot be created."},
    {Failure::SourceMissing, "Orbcore.Error.SourceMissing",
     "\"%FILE%\" is gone or cannot be read; nothing was written."},
    {Failure::NameClash, "Orbcore.Error.NameClash",
     "\"%FILE%\" has the same name on the disc as another item of the list."},
    {Failure::TooMuchData, "Orbcore.Error.TooMuchData", "There is more data than fits on the disc or target."},
    {Failure::DiskFull, "Orbcore.Error.DiskFull",
     "The disk of \"%FILE%\" is full; the image was not written."},
    {Failure::WriteFailed, "Orbcore.Error.WriteFailed", "Writing failed; the disc or image is not usable."},
    {Failure::Cancelled, "Orbcore.Error.Cancelled", "Cancelled; the disc or image is not usable."},
    {Failure::AudioUndecodable, "Orbcore.Error.AudioUndecodable", "\"%FILE%\" is not an audio file that can be read."},
    {Failure::SourceUnreadable, "Orbcore.Error.SourceUnreadable", "\"%FILE%\" cannot be read as a disc image."},
    {Failure::DiscModuleMissing, "Orbcore.Error.DiscModuleMissing",
     "The part of the engine that writes and reads discs (\"%FILE%\") cannot be loaded; reinstall the program."},
};

constexpr WindowTask kWindowTasks[] = {
    {kTaskDataDisc, "Orbcore.Window.Task.DataDisc", "Burn a data disc", "Orbcore.Window.Task.DataDisc.Note",
     "Files and folders on a CD or DVD, or in an image file"},
    {kTaskAudioCd, "Orbcore.Window.Task.AudioCd", "Burn an audio CD", "Orbcore.Window.Task.AudioCd.Note",
     "Music files as CD tracks that any CD player plays"},
    {kTaskCopyDisc, "Orbcore.Window.Task.Copy", "Copy a disc", "Orbcore.Window.Task.Copy.Note",
     "A disc or an image file onto a blank disc or into an image file"},
    {kTaskRipAudioCd, "Orbcore.Window.Task.Rip", "Rip an audio CD", "Orbcore.Window.Task.Rip.Note",
     "The tracks of an audio CD as WAV files in a folder"},
};

}  // namespace

std::span<const WindowTask> WindowTasks() { return kWindowTasks; }

std::string TaskTitleOf(std::uint32_t taskCode, const EngineTexts& texts) {
  for (const WindowTask& task : kWindowTasks) {
    if (task.taskCode == taskCode) return texts.Get(task.titleKey, task.title);
  }
  return texts.Get(kWindowTasks[0].titleKey, kWindowTasks[0].title);
}

std::string EngineTexts::Get(const std::string& key, std::string_view english) const {
  const auto found = texts_.find(key);
  return found != texts_.end() ? found->second : std::string(english);
}

std::string Megabytes(double bytes, const EngineTexts& texts) {
  // Tenths of a megabyte in whole numbers: no printf, whose point is the C locale's.
  const auto tenths = static_cast<unsigned long long>(std::llround(std::max(bytes, 0.0) / 1e5));
  return std::to_string(tenths / 10) + texts.Get("Orbcore.Number.DecimalPoint", ".") + std::to_string(tenths % 10) +
         " MB";
}

std::string FailureMessage(const TaskOutcome& outcome, const EngineTexts& texts) {
  for (const FailureText& entry : kFailureTexts) {
    if (entry.failure != outcome.failure) continue;
    std::string text = texts.Get(entry.key, entry.english);
    if (const std::size_t at = text.find("%FILE%"); at != std::string::npos) text.replace(at, 6, outcome.subject);
    return text;
  }
  return "";
}

}  // namespace orbcore
