// libburn for the engine: the library for the time of one task, one drive
// grabbed (a real one, or "stdio:<file>" for an image file), and one track
// written with progress and cancel.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "peers/orbcore/Task.h"

// libburn declares its C interface inside namespace burn for C++; libisofs
// names the same byte source as a global struct.
namespace burn {
struct burn_drive_info;
struct burn_drive;
struct burn_source;
struct burn_write_opts;
struct burn_disc;
struct burn_session;
struct burn_track;
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

  // The last message of a trouble libburn queued (empty when none), and the
  // system error that came with it (0 when none). Reading empties the queue.
  std::string LastMessage();
  int LastSystemError() const { return systemError_; }

  // Waits until the write thread of the last write has left its farewell
  // (true), or `patience` ran out (false). Only after that may the drive be
  // released and the library finished.
  bool AwaitWriterEnd(std::chrono::milliseconds patience = std::chrono::seconds(10));

 private:
  void Drain();

  bool ok_;
  bool started_;
  int systemError_ = 0;
  std::string last_;
  bool writerEnded_ = false;
};

class BurnDrive {
 public:
  explicit BurnDrive(const std::string& address);
  ~BurnDrive();
  BurnDrive(const BurnDrive&) = delete;
  BurnDrive& operator=(const BurnDrive&) = delete;
  bool ok() const { return drive_ != nullptr; }
  burn::burn_drive* drive() const { return drive_; }

  enum class TrackMode { Data, Audio };
  // Writes one track of `source` (its reference passes to the write) as a
  // single closed session.
  TaskOutcome WriteTrack(burn::burn_source* source, TrackMode mode, BurnLibrary& library, TaskObserver& observer);

  // Writes `disc` (one session) to the blank disc in the drive; an audio
  // session is written in one go (session at once), as CD-DA needs.
  TaskOutcome WriteDisc(burn::burn_disc* disc, TrackMode mode, BurnLibrary& library, TaskObserver& observer);

  // Blanks a rewritable disc that holds something (the fast way: the
  // table of contents only); a blank disc is left as it is. Blanking cannot
  // be cancelled once it started, so cancel is asked before only.
  TaskOutcome Blank(BurnLibrary& library, TaskObserver& observer);

 private:
  std::string address_;
  burn::burn_drive_info* info_ = nullptr;
  burn::burn_drive* drive_ = nullptr;
};

// Where one audio track lies in its .bin and the silence written before it
// on the disc.
struct AudioTrackPlace {
  std::uint64_t offset = 0;  // bytes into the .bin
  std::uint64_t bytes = 0;   // whole 2352-byte sectors
  int pregapSectors = 0;
  bool operator==(const AudioTrackPlace&) const = default;
};

// The tracks of `trackSectors` one after the other in their .bin, as the
// .cue lists them. On the disc track 1 gets the 2-second pregap (150
// sectors of silence, which the .bin does not hold) and later tracks none,
// so they follow each other without a gap, as in the .bin.
std::vector<AudioTrackPlace> AudioTrackPlaces(const std::vector<std::uint64_t>& trackSectors);

// One session of CD-DA tracks read from `binPath` at `places`, for
// BurnDrive::WriteDisc. The tracks read the file in order through one
// source, each from its offset.
class AudioDisc {
 public:
  AudioDisc(const std::string& binPath, const std::vector<AudioTrackPlace>& places);
  ~AudioDisc();
  AudioDisc(const AudioDisc&) = delete;
  AudioDisc& operator=(const AudioDisc&) = delete;
  bool ok() const { return ok_; }
  burn::burn_disc* disc() const { return disc_; }
  burn::burn_session* session() const { return session_; }

 private:
  bool ok_ = false;
  burn::burn_disc* disc_;
  burn::burn_session* session_;
  burn::burn_source* file_ = nullptr;
  std::vector<burn::burn_source*> sources_;
  std::vector<burn::burn_track*> tracks_;
};

// Write options for one closed session, synced once at the end.
burn::burn_write_opts* NewWriteOptions(burn::burn_drive* drive);

// Follows a write just started on `drive` to its end: progress of `bytes`,
// a cancel when the observer asks, and how it ended.
TaskOutcome WatchWrite(burn::burn_drive* drive, std::uint64_t bytes, BurnLibrary& library, TaskObserver& observer,
                       const std::string& address, std::uint64_t sectorBytes = 2048);

}  // namespace orbcore
