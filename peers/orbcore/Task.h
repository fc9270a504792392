// A task's run as the console and the window both drive it: what it reports
// while it runs, how it is cancelled, and how it ended.
#pragma once

#include <cstdint>
#include <string>

namespace orbcore {

// Why a task did not succeed; each has one message for the user.
enum class Failure {
  None,
  NothingToDo,       // the task brought nothing to write
  NoDrive,           // no drive and no image target
  NoDisc,            // the drive holds no disc
  DiscNotWritable,   // the disc is neither blank nor appendable
  TargetNotAFile,    // the image target is a folder, device or pipe
  TargetUnwritable,  // the image target's folder refuses a new file
  SourceMissing,     // a file of the list is gone or cannot be read
  NameClash,         // two items of the list end up under one name on the disc
  TooMuchData,       // more than the medium or target disk holds
  DiskFull,          // the target disk filled up while writing
  WriteFailed,       // the drive or target failed while writing
  Cancelled,         // the user cancelled
  AudioUndecodable,  // an audio file that cannot be decoded
  SourceUnreadable,  // the disc or image to copy or rip cannot be read
  DiscModuleMissing, // the disc module (liborbcore_disc.so) cannot be loaded
};

struct TaskOutcome {
  Failure failure = Failure::None;
  std::string subject;  // the file or target the message names, if any
  std::string detail;   // what the library or system said, for the log

  bool Succeeded() const { return failure == Failure::None; }
};

struct TaskProgress {
  std::uint64_t done = 0;   // bytes written so far
  std::uint64_t total = 0;  // bytes the task writes, 0 while unknown
  double bytesPerSecond = 0;
};

// Where a task reads and writes: an image file (or for a rip, a folder) to
// write and an image to read for a copy or a rip, each instead of the drive.
struct TaskPlaces {
  std::string target;
  std::string source;
  std::string drive;  // the chosen drive's device; empty when there is none
  bool newDisc = false;  // replace an earlier image rather than add a session to it
};

// Told of progress from the task's thread; asked often whether to stop.
class TaskObserver {
 public:
  virtual ~TaskObserver() = default;
  virtual void Progress(const TaskProgress& progress) = 0;
  virtual bool CancelRequested() = 0;
  // A copy from a disc to a disc in the same drive, once the disc is read:
  // asks the user to put a blank disc in `drive`; false when the user would
  // rather stop (the copy then ends cancelled). No one to ask: stop.
  virtual bool AskForBlankDisc(const std::string& drive) {
    (void)drive;
    return false;
  }
};

}  // namespace orbcore
