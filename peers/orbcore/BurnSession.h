// libburn for the engine: the library for the time of one task, one drive
// grabbed (a real one, or "stdio:<file>" for an image file), and one track
// written with progress and cancel.
#pragma once

#include <cstdint>
#include <string>

#include "peers/orbcore/Task.h"

// libburn declares its C interface inside namespace burn for C++; libisofs
// names the same byte source as a global struct.
namespace burn {
struct burn_drive_info;
struct burn_drive;
struct burn_source;
struct burn_write_opts;
}  // namespace burn

namespace orbcore {

class BurnLibrary {
 public:
  // With `start` false the library is started and finished by another
  // (libisoburn); this one only words its messages.
  explicit BurnLibrary(bool start = true);
  ~BurnLibrary();
  BurnLibrary(const BurnLibrary&) = delete;
  BurnLibrary& operator=(const BurnLibrary&) = delete;
  bool ok() const { return ok_; }

  // The last message libburn queued (empty when none), and the system error
  // that came with it (0 when none). Reading empties the queue.
  std::string LastMessage();
  int LastSystemError() const { return systemError_; }

 private:
  bool ok_;
  bool started_;
  int systemError_ = 0;
};

class BurnDrive {
 public:
  explicit BurnDrive(const std::string& address);
  ~BurnDrive();
  BurnDrive(const BurnDrive&) = delete;
  BurnDrive& operator=(const BurnDrive&) = delete;
  bool ok() const { return drive_ != nullptr; }

  enum class TrackMode { Data, Audio };
  // Writes one track of `source` (its reference passes to the write) as a
  // single closed session.
  TaskOutcome WriteTrack(burn::burn_source* source, TrackMode mode, BurnLibrary& library, TaskObserver& observer);

 private:
  std::string address_;
  burn::burn_drive_info* info_ = nullptr;
  burn::burn_drive* drive_ = nullptr;
};

// Write options for one closed session, synced once at the end.
burn::burn_write_opts* NewWriteOptions(burn::burn_drive* drive);

// Follows a write just started on `drive` to its end: progress of `bytes`,
// a cancel when the observer asks, and how it ended.
TaskOutcome WatchWrite(burn::burn_drive* drive, std::uint64_t bytes, BurnLibrary& library, TaskObserver& observer,
                       const std::string& address);

}  // namespace orbcore
