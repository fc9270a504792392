// Ripping with libcdio-paranoia, reading data discs with libburn, and image
// copies.
#include "peers/orbcore/DiscReading.h"

#include <cdio/cdio.h>
#include <fcntl.h>
#include <libburn/libburn.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "peers/orbcore/AudioImage.h"
#include "peers/orbcore/BurnSession.h"
#include "peers/orbcore/TargetFile.h"

namespace orbcore {

namespace {

struct CdioCloser {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
struct DriveCloser {
  void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
struct ParanoiaFree {
  void operator()(cdrom_paranoia_t* paranoia) const { cdio_paranoia_free(paranoia); }
};
struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  if (text.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i]) return false;
  }
  return true;
}

std::unique_ptr<CdIo_t, CdioCloser> OpenSource(const std::string& source) {
  CdIo_t* cdio = EndsWith(source, ".cue") ? cdio_open_cue(source.c_str()) : cdio_open(source.c_str(), DRIVER_DEVICE);
  return std::unique_ptr<CdIo_t, CdioCloser>(cdio);
}

// Copies `from` to the temporary of `to` in pieces, reporting and asking
// about cancel on the way. The kernel copies the bytes.
TaskOutcome CopyBytes(const std::string& from, TargetFile& to, TaskProgress& progress, TaskObserver& observer) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (in < 0 || fstat(in, &status) != 0) {
    if (in >= 0) close(in);
    return {Failure::SourceUnreadable, from, "cannot be opened"};
  }
  BlockWriter out(to.TemporaryPath());
  TaskOutcome outcome;
  constexpr std::uint64_t kStep = 32 << 20;
  const auto size = static_cast<std::uint64_t>(status.st_size);
  for (std::uint64_t copied = 0; copied < size && outcome.Succeeded();) {
    if (observer.CancelRequested()) {
      outcome = {Failure::Cancelled, to.Path(), ""};
      break;
    }
    const std::uint64_t step = std::min(kStep, size - copied);
    if (!out.CopyFrom(in, static_cast<off_t>(copied), step)) break;
    copied += step;
    progress.done += step;
    observer.Progress(progress);
  }
  close(in);
  if (!out.Close() && outcome.Succeeded()) {
    if (out.Error() == 0) return {Failure::SourceUnreadable, from, "the file ended early"};
    return {IsDiskFull(out.Error()) ? Failure::DiskFull : Failure::WriteFailed, to.Path(),
            "the copy could not be written whole"};
  }
  return outcome;
}

std::optional<TargetFile> CreateTarget(const std::string& path, TaskOutcome& outcome) {
  std::string error;
  std::optional<TargetFile> file = TargetFile::Create(path, error);
  if (!file) outcome = {NotARegularFile(path).empty() ? Failure::TargetUnwritable : Failure::TargetNotAFile, path, error};
  return file;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The one FILE line of a .cue names its .bin, relative to the .cue.
std::optional<std::string> CueBinName(const std::string& cueText) {
  const std::size_t file = cueText.find("FILE \"");
  if (file == std::string::npos) return std::nullopt;
  const std::size_t end = cueText.find('"', file + 6);
  if (end == std::string::npos) return std::nullopt;
  return cueText.substr(file + 6, end - file - 6);
}

}  // namespace

std::string RipFileName(unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "Track %02u.wav", number);
  return name;
}

std::string DefaultMusicFolder() {
  const char* home = std::getenv("HOME");
  const std::string homeDir = home != nullptr ? home : "";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::ifstream dirs((config != nullptr && *config != '\0' ? std::string(config) : homeDir + "/.config") +
                     "/user-dirs.dirs");
  for (std::string line; std::getline(dirs, line);) {
    constexpr std::string_view kKey = "XDG_MUSIC_DIR=\"";
    if (!line.starts_with(kKey) || line.back() != '"') continue;
    std::string value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
    if (value.starts_with("$HOME")) value = homeDir + value.substr(5);
    return value;
  }
  return homeDir + "/Music";
}

TaskOutcome RipAudio(const std::string& source, const std::string& folder, TaskObserver& observer) {
  const auto cdio = OpenSource(source);
  if (!cdio) return {Failure::SourceUnreadable, source, "libcdio cannot open it"};
  const std::unique_ptr<cdrom_drive_t, DriveCloser> drive(
      cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr));
  if (!drive || cdio_cddap_open(drive.get()) != 0) return {Failure::SourceUnreadable, source, "no audio tracks"};
  const std::unique_ptr<cdrom_paranoia_t, ParanoiaFree> paranoia(cdio_paranoia_init(drive.get()));
  cdio_paranoia_modeset(paranoia.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);

  const track_t tracks = cdio_cddap_tracks(drive.get());
  TaskProgress progress;
  for (track_t t = 1; t <= tracks; ++t) {
    if (cdio_cddap_track_audiop(drive.get(), t) != 1) continue;
    progress.total += static_cast<std::uint64_t>(cdio_cddap_track_lastsector(drive.get(), t) -
                                                 cdio_cddap_track_firstsector(drive.get(), t) + 1) *
                      kCdSectorBytes;
  }
  if (progress.total == 0) return {Failure::SourceUnreadable, source, "no audio tracks"};

  for (track_t t = 1; t <= tracks; ++t) {
    if (cdio_cddap_track_audiop(drive.get(), t) != 1) continue;
    TaskOutcome outcome;
    std::optional<TargetFile> wav = CreateTarget(folder + "/" + RipFileName(t), outcome);
    if (!wav) return outcome;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(wav->TemporaryPath().c_str(), SFM_WRITE, &info));
    if (!file) return {Failure::TargetUnwritable, wav->Path(), sf_strerror(nullptr)};
    const lsn_t first = cdio_cddap_track_firstsector(drive.get(), t);
    const lsn_t last = cdio_cddap_track_lastsector(drive.get(), t);
    cdio_paranoia_seek(paranoia.get(), first, SEEK_SET);
    for (lsn_t sector = first; sector <= last; ++sector) {
      if (observer.CancelRequested()) return {Failure::Cancelled, wav->Path(), ""};
      const int16_t* samples = cdio_paranoia_read(paranoia.get(), nullptr);
      if (samples == nullptr) return {Failure::SourceUnreadable, source, "a sector cannot be read"};
      // paranoia hands over samples in the machine's byte order.
      if (sf_writef_short(file.get(), samples, kCdSectorFrames) != static_cast<sf_count_t>(kCdSectorFrames)) {
        return {Failure::DiskFull, wav->Path(), sf_strerror(file.get())};
      }
      progress.done += kCdSectorBytes;
      observer.Progress(progress);
    }
    if (sf_close(file.release()) != 0) return {Failure::DiskFull, wav->Path(), "the file could not be finished"};
    std::string error;
    if (!wav->Commit(error)) return {Failure::TargetUnwritable, wav->Path(), error};
  }
  return {};
}

TaskOutcome CopyImage(const std::string& source, const std::string& target, TaskObserver& observer) {
  TaskProgress progress;
  if (!EndsWith(source, ".cue")) {
    std::ifstream probe(source, std::ios::binary | std::ios::ate);
    if (!probe || !NotARegularFile(source).empty()) return {Failure::SourceUnreadable, source, "not a file"};
    progress.total = static_cast<std::uint64_t>(probe.tellg());
    TaskOutcome outcome;
    std::optional<TargetFile> copy = CreateTarget(target, outcome);
    if (!copy) return outcome;
    outcome = CopyBytes(source, *copy, progress, observer);
    std::string error;
    if (outcome.Succeeded() && !copy->Commit(error)) return {Failure::TargetUnwritable, target, error};
    return outcome;
  }
  // A .cue with its .bin: the .bin copied beside the target .cue, the .cue
  // naming it, and the .cue renamed last.
  std::ifstream cueIn(source, std::ios::binary);
  std::stringstream cueText;
  cueText << cueIn.rdbuf();
  const std::optional<std::string> binName = CueBinName(cueText.str());
  if (!cueIn || !binName) return {Failure::SourceUnreadable, source, "no FILE line"};
  const std::string binSource = binName->starts_with("/") ? *binName : FolderOf(source) + "/" + *binName;
  const std::string binTarget = WithExtension(target, ".bin");
  std::ifstream probe(binSource, std::ios::binary | std::ios::ate);
  if (!probe) return {Failure::SourceUnreadable, binSource, "cannot be opened"};
  progress.total = static_cast<std::uint64_t>(probe.tellg());
  TaskOutcome outcome;
  std::optional<TargetFile> bin = CreateTarget(binTarget, outcome);
  if (!bin) return outcome;
  std::optional<TargetFile> cue = CreateTarget(target, outcome);
  if (!cue) return outcome;
  outcome = CopyBytes(binSource, *bin, progress, observer);
  if (!outcome.Succeeded()) return outcome;
  std::string text = cueText.str();
  text.replace(text.find(*binName), binName->size(), NameOf(binTarget));
  std::ofstream(cue->TemporaryPath(), std::ios::binary | std::ios::trunc) << text;
  std::string error;
  if (!bin->Commit(error)) return {Failure::TargetUnwritable, binTarget, error};
  if (!cue->Commit(error)) return {Failure::TargetUnwritable, target, error};
  return {};
}

TaskOutcome ReadDataDisc(const std::string& drive, const std::string& target, TaskObserver& observer) {
  using namespace burn;
  BurnLibrary library;
  if (!library.ok()) return {Failure::SourceUnreadable, drive, "libburn did not start"};
  const BurnDrive source(drive);
  if (!source.ok()) return {Failure::NoDrive, drive, library.LastMessage()};
  burn_drive* disc = source.drive();
  // Rewritable media and files count as blank whatever they hold: their
  // file system tells.
  const burn_disc_status status = burn_disc_get_status(disc);
  if (status == BURN_DISC_EMPTY) return {Failure::NoDisc, drive, ""};
  // The newest session's file system says where the data ends. Only when
  // it starts at sector 0 (one session, or rewritable media whose start
  // points at the newest tree) is the disc one run of readable sectors.
  int session = 0;
  if (burn_disc_get_msc1(disc, &session) <= 0) session = 0;
  if (session > 0) return {Failure::SourceUnreadable, drive, "a disc of several sessions"};
  constexpr off_t kSector = 2048;
  char head[kSector] = {};
  off_t count = 0;
  if (burn_read_data(disc, 16 * kSector, head, kSector, &count, 2) <= 0 || std::memcmp(head + 1, "CD001", 5) != 0) {
    return {Failure::SourceUnreadable, drive,
            status == BURN_DISC_BLANK ? "the disc is blank" : "no data disc (an audio CD is ripped, not copied)"};
  }
  // The volume's size in sectors, both byte orders stored; the little-endian one.
  std::uint32_t sectors = 0;
  for (int i = 3; i >= 0; --i) sectors = (sectors << 8) | static_cast<unsigned char>(head[80 + i]);

  TaskOutcome outcome;
  std::optional<TargetFile> image = CreateTarget(target, outcome);
  if (!image) return outcome;
  BlockWriter out(image->TemporaryPath());
  TaskProgress progress;
  progress.total = std::uint64_t{sectors} * kSector;
  const auto start = std::chrono::steady_clock::now();
  std::vector<char> buffer(std::size_t{512} * kSector);
  while (progress.done < progress.total) {
    if (observer.CancelRequested()) return {Failure::Cancelled, target, ""};
    const off_t step = static_cast<off_t>(std::min<std::uint64_t>(buffer.size(), progress.total - progress.done));
    if (burn_read_data(disc, static_cast<off_t>(progress.done), buffer.data(), step, &count, 2) <= 0 || count != step) {
      return {Failure::SourceUnreadable, drive, "sector " + std::to_string(progress.done / kSector) + " cannot be read"};
    }
    if (!out.Write(buffer.data(), static_cast<std::size_t>(step))) break;
    progress.done += static_cast<std::uint64_t>(step);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.bytesPerSecond = seconds >= 1 ? static_cast<double>(progress.done) / seconds : 0;
    observer.Progress(progress);
  }
  if (!out.Close()) {
    return {IsDiskFull(out.Error()) ? Failure::DiskFull : Failure::WriteFailed, target, std::strerror(out.Error())};
  }
  std::string error;
  if (!image->Commit(error)) return {Failure::TargetUnwritable, target, error};
  return {};
}

TaskOutcome CopyDiscInOneDrive(const std::string& drive, bool newDisc, TaskObserver& observer) {
  const ScratchFolder folder;
  if (folder.Path().empty()) return {Failure::TargetUnwritable, "", folder.Error()};
  const std::string image = folder.Path() + "/disc.iso";
  if (TaskOutcome read = ReadDataDisc(drive, image, observer); !read.Succeeded()) {
    // The scratch image is nobody's business: a full disk is the scratch folder's.
    if (read.subject == image) read.subject = folder.Path();
    return read;
  }
  if (!observer.AskForBlankDisc(drive)) return {Failure::Cancelled, drive, "no blank disc for the copy"};
  return BurnImage(image, drive, newDisc, observer);
}

TaskOutcome BurnImage(const std::string& source, const std::string& drive, bool newDisc, TaskObserver& observer) {
  if (!NotARegularFile(source).empty()) return {Failure::SourceUnreadable, source, "not a file"};
  BurnLibrary burn;
  if (!burn.ok()) return {Failure::WriteFailed, "", "libburn did not start"};
  BurnDrive target(drive);
  if (!target.ok()) return {Failure::NoDrive, drive, burn.LastMessage()};
  if (newDisc) {
    if (TaskOutcome blanked = target.Blank(burn, observer); !blanked.Succeeded()) return blanked;
  }
  if (!EndsWith(source, ".cue")) {
    burn::burn_source* file = burn::burn_file_source_new(source.c_str(), nullptr);
    if (file == nullptr) return {Failure::SourceUnreadable, source, "cannot be opened"};
    return target.WriteTrack(file, BurnDrive::TrackMode::Data, burn, observer);
  }
  // The audio tracks as libcdio reads the .cue, from the .bin it names.
  std::ifstream cueIn(source, std::ios::binary);
  std::stringstream cueText;
  cueText << cueIn.rdbuf();
  const std::optional<std::string> binName = CueBinName(cueText.str());
  const std::unique_ptr<CdIo_t, CdioCloser> cdio = OpenSource(source);
  if (!binName || !cdio) return {Failure::SourceUnreadable, source, "not a BIN/CUE image"};
  std::vector<std::uint64_t> sectors;
  const track_t first = cdio_get_first_track_num(cdio.get()), count = cdio_get_num_tracks(cdio.get());
  for (track_t track = first; count != CDIO_INVALID_TRACK && track < first + count; ++track) {
    if (cdio_get_track_format(cdio.get(), track) != TRACK_FORMAT_AUDIO) {
      return {Failure::SourceUnreadable, source, "a track that is not audio"};
    }
    sectors.push_back(static_cast<std::uint64_t>(cdio_get_track_last_lsn(cdio.get(), track) -
                                                 cdio_get_track_lsn(cdio.get(), track) + 1));
  }
  const std::string bin = binName->starts_with("/") ? *binName : FolderOf(source) + "/" + *binName;
  AudioDisc disc(bin, AudioTrackPlaces(sectors));
  if (!disc.ok()) return {Failure::SourceUnreadable, bin, "cannot be opened"};
  return target.WriteDisc(disc.disc(), BurnDrive::TrackMode::Audio, burn, observer);
}

}  // namespace orbcore
