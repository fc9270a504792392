// libburn's set-up, drive grab and track writing.
#include "peers/orbcore/BurnSession.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace orbcore {

using namespace burn;

namespace {

// The note the write thread leaves as its last act on the message queue.
constexpr int kWriteThreadEnded = 0x00020178;

}  // namespace

BurnLibrary::BurnLibrary(bool start) : ok_(!start || burn_initialize() == 1), started_(start) {
  // Messages are queued for the engine to word, down to debug notes so the
  // write thread's farewell arrives; libburn prints nothing.
  if (ok_) burn_msgs_set_severities(const_cast<char*>("DEBUG"), const_cast<char*>("NEVER"), const_cast<char*>("orbcore: "));
}

BurnLibrary::~BurnLibrary() {
  if (ok_ && started_) burn_finish();
}

void BurnLibrary::Drain() {
  int sorry = 0;
  burn_text_to_sev(const_cast<char*>("SORRY"), &sorry, 0);
  int code = 0, systemError = 0;
  char text[BURN_MSGS_MESSAGE_LEN] = {};
  char severity[80] = {};
  while (burn_msgs_obtain(const_cast<char*>("ALL"), &code, text, &systemError, severity) == 1) {
    if (code == kWriteThreadEnded) writerEnded_ = true;
    // Notes and debug chatter are no verdict on anything.
    int rank = 0;
    if (burn_text_to_sev(severity, &rank, 0) > 0 && rank < sorry) continue;
    last_ = text;
    if (systemError != 0) systemError_ = systemError;
  }
}

std::string BurnLibrary::LastMessage() {
  Drain();
  return std::exchange(last_, {});
}

bool BurnLibrary::AwaitWriterEnd(std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (Drain(); !writerEnded_ && std::chrono::steady_clock::now() < deadline; Drain()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::exchange(writerEnded_, false);
}

BurnDrive::BurnDrive(const std::string& address) : address_(address) {
  if (burn_drive_scan_and_grab(&info_, const_cast<char*>(address.c_str()), 1) == 1 && info_ != nullptr) {
    drive_ = info_[0].drive;
  }
}

BurnDrive::~BurnDrive() {
  if (drive_ != nullptr) burn_drive_release(drive_, 0);
  if (info_ != nullptr) burn_drive_info_free(info_);
}

namespace {

struct DiscParts {
  burn_disc* disc = burn_disc_create();
  burn_session* session = burn_session_create();
  burn_track* track = burn_track_create();
  ~DiscParts() {
    burn_track_free(track);
    burn_session_free(session);
    burn_disc_free(disc);
  }
};

TaskOutcome WriteFailure(BurnLibrary& library, const std::string& subject, const std::string& fallback) {
  const std::string message = library.LastMessage();
  const int error = library.LastSystemError();
  const Failure failure = error == ENOSPC || error == EFBIG || error == EDQUOT ? Failure::DiskFull : Failure::WriteFailed;
  return {failure, subject, message.empty() ? fallback : message};
}

}  // namespace

TaskOutcome BurnDrive::WriteTrack(burn_source* source, TrackMode mode, BurnLibrary& library, TaskObserver& observer) {
  DiscParts parts;
  burn_disc_add_session(parts.disc, parts.session, BURN_POS_END);
  burn_track_define_data(parts.track, 0, 0, 0, mode == TrackMode::Audio ? BURN_AUDIO : BURN_MODE1);
  const bool sourceSet = burn_track_set_source(parts.track, source) == BURN_SOURCE_OK;
  burn_source_free(source);  // the track holds its own reference
  if (!sourceSet) return {Failure::WriteFailed, address_, "the track refused its source"};
  burn_session_add_track(parts.session, parts.track, BURN_POS_END);
  return WriteDisc(parts.disc, mode, library, observer);
}

TaskOutcome BurnDrive::WriteDisc(burn_disc* disc, TrackMode mode, BurnLibrary& library, TaskObserver& observer) {
  switch (burn_disc_get_status(drive_)) {
    case BURN_DISC_BLANK: break;
    case BURN_DISC_EMPTY: return {Failure::NoDisc, address_, ""};
    default: return {Failure::DiscNotWritable, address_, ""};
  }

  burn_write_opts* opts = NewWriteOptions(drive_);
  if (mode == TrackMode::Audio) burn_write_opts_set_write_type(opts, BURN_WRITE_SAO, BURN_BLOCK_SAO);
  char reasons[BURN_REASONS_LEN] = {};
  if (burn_write_opts_auto_write_type(opts, disc, reasons, 0) == BURN_WRITE_NONE) {
    burn_write_opts_free(opts);
    return {Failure::DiscNotWritable, address_, reasons};
  }
  const std::uint64_t sectorBytes = mode == TrackMode::Audio ? 2352 : 2048;
  const off_t bytes = static_cast<off_t>(burn_disc_get_sectors(disc)) * 2048;
  const off_t room = burn_disc_available_space(drive_, opts);
  if (room > 0 && bytes > room) {
    burn_write_opts_free(opts);
    return {Failure::TooMuchData, address_, std::to_string(bytes) + " bytes for " + std::to_string(room)};
  }

  library.LastMessage();  // what came before the write is no verdict on it
  burn_disc_write(opts, disc);
  burn_write_opts_free(opts);
  return WatchWrite(drive_, static_cast<std::uint64_t>(burn_disc_get_sectors(disc)) * sectorBytes, library, observer,
                    address_, sectorBytes);
}

TaskOutcome BurnDrive::Blank(BurnLibrary& library, TaskObserver& observer) {
  switch (burn_disc_get_status(drive_)) {
    case BURN_DISC_BLANK: return {};
    case BURN_DISC_EMPTY: return {Failure::NoDisc, address_, ""};
    case BURN_DISC_FULL:
    case BURN_DISC_APPENDABLE: break;
    default: return {Failure::DiscNotWritable, address_, ""};
  }
  if (burn_disc_erasable(drive_) != 1) return {Failure::DiscNotWritable, address_, "the disc is not rewritable"};
  if (observer.CancelRequested()) return {Failure::Cancelled, address_, ""};
  library.LastMessage();
  burn_disc_erase(drive_, 1);
  while (burn_drive_get_status(drive_, nullptr) == BURN_DRIVE_SPAWNING) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  burn_progress progress{};
  while (burn_drive_get_status(drive_, &progress) != BURN_DRIVE_IDLE) {
    // The drive counts sectors of the blanking; shown as a share of the disc.
    TaskProgress report;
    report.total = progress.sectors > 0 ? static_cast<std::uint64_t>(progress.sectors) * 2048 : 0;
    report.done = progress.sector > 0 ? std::min(report.total, static_cast<std::uint64_t>(progress.sector) * 2048) : 0;
    observer.Progress(report);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (burn_disc_get_status(drive_) != BURN_DISC_BLANK) {
    return WriteFailure(library, address_, "the disc could not be blanked");
  }
  return {};
}

std::vector<AudioTrackPlace> AudioTrackPlaces(const std::vector<std::uint64_t>& trackSectors) {
  std::vector<AudioTrackPlace> places;
  std::uint64_t offset = 0;
  for (const std::uint64_t sectors : trackSectors) {
    places.push_back({offset, sectors * 2352, places.empty() ? 150 : 0});
    offset += sectors * 2352;
  }
  return places;
}

AudioDisc::AudioDisc(const std::string& binPath, const std::vector<AudioTrackPlace>& places)
    : disc_(burn_disc_create()), session_(burn_session_create()) {
  burn_disc_add_session(disc_, session_, BURN_POS_END);
  file_ = burn_file_source_new(binPath.c_str(), nullptr);
  if (file_ == nullptr || places.empty()) return;
  burn_source* previous = nullptr;
  for (const AudioTrackPlace& place : places) {
    burn_source* source = burn_offst_source_new(file_, previous, static_cast<off_t>(place.offset),
                                                static_cast<off_t>(place.bytes), 0);
    if (source == nullptr) return;
    sources_.push_back(source);
    burn_track* track = burn_track_create();
    tracks_.push_back(track);
    burn_track_define_data(track, 0, 0, 0, BURN_AUDIO);
    // 0 would ask for no pregap; -1 keeps only track 1's own.
    burn_track_set_pregap_size(track, place.pregapSectors > 0 ? place.pregapSectors : -1, 0);
    if (burn_track_set_source(track, source) != BURN_SOURCE_OK) return;
    burn_session_add_track(session_, track, BURN_POS_END);
    previous = source;
  }
  ok_ = true;
}

AudioDisc::~AudioDisc() {
  for (burn_track* track : tracks_) burn_track_free(track);
  burn_session_free(session_);
  burn_disc_free(disc_);
  // Each offset source reads after the one before it: freed last to first.
  for (auto it = sources_.rbegin(); it != sources_.rend(); ++it) burn_source_free(*it);
  if (file_ != nullptr) burn_source_free(file_);
}

burn_write_opts* NewWriteOptions(burn_drive* drive) {
  burn_write_opts* opts = burn_write_opts_new(drive);
  burn_write_opts_set_perform_opc(opts, 0);
  burn_write_opts_set_multi(opts, 0);
  burn_write_opts_set_underrun_proof(opts, 1);
  // An image file is synced once, at its end (before it is renamed into
  // place), not every 16 MB as libburn would.
  burn_write_opts_set_stdio_fsync(opts, 1);
  return opts;
}

TaskOutcome WatchWrite(burn_drive* drive, std::uint64_t bytes, BurnLibrary& library, TaskObserver& observer,
                       const std::string& address, std::uint64_t sectorBytes) {
  // A write libburn refused never left the idle state: no thread to wait for.
  const bool spawned = burn_drive_get_status(drive, nullptr) != BURN_DRIVE_IDLE;
  while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto start = std::chrono::steady_clock::now();
  bool cancelled = false;
  burn_progress progress{};
  while (burn_drive_get_status(drive, &progress) != BURN_DRIVE_IDLE) {
    if (!cancelled && observer.CancelRequested()) {
      burn_drive_cancel(drive);
      cancelled = true;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    TaskProgress report;
    report.total = bytes;
    report.done = static_cast<std::uint64_t>(progress.sector < 0 ? 0 : progress.sector) * sectorBytes;
    if (report.done > report.total) report.done = report.total;
    // The first moments fill buffers, not the target: no speed yet.
    report.bytesPerSecond = seconds >= 1 ? static_cast<double>(report.done) / seconds : 0;
    observer.Progress(report);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The drive reads idle a moment before libburn's write thread has ended;
  // releasing the drive or finishing the library before then pulls them
  // from under that thread.
  if (spawned) library.AwaitWriterEnd();
  if (cancelled) return {Failure::Cancelled, address, ""};
  if (!burn_drive_wrote_well(drive)) return WriteFailure(library, address, "the write did not end well");
  // A write libburn refused to start (another drive operation still going
  // on) ends "well" too; only its message tells.
  if (const std::string refused = library.LastMessage(); !refused.empty()) {
    return {Failure::WriteFailed, address, refused};
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  observer.Progress({bytes, bytes, seconds > 0 ? static_cast<double>(bytes) / seconds : 0});
  return {};
}

}  // namespace orbcore
