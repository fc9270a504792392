// Decoding with libsndfile, conversion with libsamplerate, the BIN/CUE pair.
#include "peers/orbcore/AudioImage.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <optional>

#include "peers/orbcore/BurnSession.h"
#include "peers/orbcore/TargetFile.h"

namespace orbcore {

namespace {

constexpr int kCdRate = 44100;

struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
struct ResamplerDeleter {
  void operator()(SRC_STATE* state) const { src_delete(state); }
};

// Where a track's CD audio lies as it is in its file.
struct RawRange {
  int fd;
  off_t offset;
  std::uint64_t bytes;
};

// A descriptor of the decoder's own: libsndfile reads through it but leaves
// it open, so that the samples can be copied from it directly.
struct Descriptor {
  int fd = -1;
  Descriptor() = default;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// One track's frames as CD audio, read in pieces.
class TrackDecoder {
 public:
  bool Open(const std::string& path) {
    const int fd = fd_.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    file_.reset(sf_open_fd(fd, SFM_READ, &info_, SF_FALSE));
    if (!file_ || info_.channels < 1 || info_.samplerate < 1) return false;
    const bool cdFormat = info_.samplerate == kCdRate && info_.channels == 2 &&
                          (info_.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    if (!cdFormat && info_.samplerate != kCdRate) {
      int error = 0;
      resampler_.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 2, &error));
      if (!resampler_) return false;
    }
    direct_ = cdFormat;
    // A 16-bit WAV file holds CD byte order already: its bytes are taken as
    // they are on a little-endian machine.
    const int major = info_.format & SF_FORMAT_TYPEMASK;
    raw_ = cdFormat && (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX) && std::endian::native == std::endian::little;
    if (raw_) FindRawRange(fd);
    return true;
  }

  // The track's PCM where it lies in its file, to be copied as it is; none
  // when it needs decoding.
  const std::optional<RawRange>& Raw() const { return range_; }

  // About how many CD frames the track gives.
  std::uint64_t EstimatedFrames() const {
    return static_cast<std::uint64_t>(info_.frames) * kCdRate / static_cast<std::uint64_t>(info_.samplerate);
  }

  // Fills `out` with up to its size / 2 frames; 0 at the end, -1 on a read error.
  long Read(std::vector<short>& out) {
    const sf_count_t wanted = static_cast<sf_count_t>(out.size() / 2);
    if (raw_) return static_cast<long>(sf_read_raw(file_.get(), out.data(), wanted * 4) / 4);
    if (direct_) return static_cast<long>(sf_readf_short(file_.get(), out.data(), wanted));
    std::vector<float> stereo;
    if (!resampler_) {
      if (!ReadStereo(wanted, stereo)) return 0;
    } else {
      // Converted in steps until output comes or the input is done.
      std::vector<float> converted(static_cast<std::size_t>(wanted) * 2);
      while (true) {
        const sf_count_t inputFrames =
            std::max<sf_count_t>(1, wanted * info_.samplerate / kCdRate);
        const bool more = !ended_ && ReadStereo(inputFrames, stereo);
        if (!more) ended_ = true;
        SRC_DATA data{};
        data.data_in = stereo.data();
        data.input_frames = static_cast<long>(stereo.size() / 2);
        data.data_out = converted.data();
        data.output_frames = wanted;
        data.src_ratio = static_cast<double>(kCdRate) / info_.samplerate;
        data.end_of_input = ended_ ? 1 : 0;
        if (src_process(resampler_.get(), &data) != 0) return -1;
        if (data.output_frames_gen > 0 || ended_) {
          converted.resize(static_cast<std::size_t>(data.output_frames_gen) * 2);
          stereo.swap(converted);
          break;
        }
      }
    }
    src_float_to_short_array(stereo.data(), out.data(), static_cast<int>(stereo.size()));
    return static_cast<long>(stereo.size() / 2);
  }

 private:
  // Up to `frames` frames as stereo floats: mono doubled, the first two
  // channels of more. False at the end of the file.
  bool ReadStereo(sf_count_t frames, std::vector<float>& stereo) {
    std::vector<float> raw(static_cast<std::size_t>(frames * info_.channels));
    const sf_count_t got = sf_readf_float(file_.get(), raw.data(), frames);
    stereo.resize(static_cast<std::size_t>(got) * 2);
    for (sf_count_t i = 0; i < got; ++i) {
      const float* frame = raw.data() + i * info_.channels;
      stereo[2 * i] = frame[0];
      stereo[2 * i + 1] = info_.channels > 1 ? frame[1] : frame[0];
    }
    return got > 0;
  }

  // Seeking to the first frame leaves the descriptor at the start of the
  // samples; a range that the file does not hold whole is decoded instead.
  void FindRawRange(int fd) {
    if (sf_seek(file_.get(), 0, SEEK_SET) != 0) return;
    const off_t offset = lseek(fd, 0, SEEK_CUR);
    struct stat status {};
    const std::uint64_t bytes = static_cast<std::uint64_t>(info_.frames) * 4;
    if (offset < 0 || fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) < offset + bytes) return;
    range_ = RawRange{fd, offset, bytes};
  }

  Descriptor fd_;  // closed after file_
  SF_INFO info_{};
  std::unique_ptr<SNDFILE, SndFileCloser> file_;
  std::optional<RawRange> range_;
  std::unique_ptr<SRC_STATE, ResamplerDeleter> resampler_;
  bool direct_ = false;
  bool raw_ = false;
  bool ended_ = false;
};

std::string Msf(std::uint64_t sectors) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(sectors / 75 / 60),
                static_cast<unsigned>(sectors / 75 % 60), static_cast<unsigned>(sectors % 75));
  return text;
}

// Used on big-endian machines only.
[[maybe_unused]] void PutLittleEndian(const std::vector<short>& samples, std::size_t count, std::vector<char>& bytes) {
  bytes.resize(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = static_cast<unsigned short>(samples[i]);
    bytes[2 * i] = static_cast<char>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(value >> 8);
  }
}

}  // namespace

std::string CueSheet(const std::string& binName, const std::vector<std::uint64_t>& trackSectors) {
  std::string cue = "FILE \"" + binName + "\" BINARY\r\n";
  const std::vector<AudioTrackPlace> places = AudioTrackPlaces(trackSectors);
  for (std::size_t i = 0; i < places.size(); ++i) {
    char track[40];
    std::snprintf(track, sizeof track, "  TRACK %02zu AUDIO\r\n", i + 1);
    cue += track;
    cue += "    INDEX 01 " + Msf(places[i].offset / kCdSectorBytes) + "\r\n";
  }
  return cue;
}

TaskOutcome WriteAudioImage(const std::vector<std::string>& tracks, const std::string& cuePath,
                            TaskObserver& observer) {
  if (tracks.empty()) return {Failure::NothingToDo, "", ""};
  std::vector<TrackDecoder> decoders(tracks.size());
  TaskProgress progress;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    if (!decoders[i].Open(tracks[i])) return {Failure::AudioUndecodable, tracks[i], sf_strerror(nullptr)};
    progress.total += decoders[i].EstimatedFrames() * 4;
  }
  const std::string binPath = WithExtension(cuePath, ".bin");
  std::string error;
  std::optional<TargetFile> bin = TargetFile::Create(binPath, error);
  if (!bin) return {NotARegularFile(binPath).empty() ? Failure::TargetUnwritable : Failure::TargetNotAFile, binPath, error};
  std::optional<TargetFile> cue = TargetFile::Create(cuePath, error);
  if (!cue) return {NotARegularFile(cuePath).empty() ? Failure::TargetUnwritable : Failure::TargetNotAFile, cuePath, error};

  BlockWriter out(bin->TemporaryPath());
  std::vector<std::uint64_t> sectors;
  std::vector<short> samples;  // 4.2 MB a step, for tracks that are decoded
  std::vector<char> bytes;
  const auto writeFailure = [&] {
    return TaskOutcome{IsDiskFull(out.Error()) ? Failure::DiskFull : Failure::WriteFailed, binPath,
                       "the .bin could not be written whole"};
  };
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    std::uint64_t frames = 0;
    if (const std::optional<RawRange>& raw = decoders[i].Raw()) {
      // CD audio already: the kernel copies it, in steps that leave room
      // for progress and cancel.
      constexpr std::uint64_t kStep = 32 << 20;
      for (std::uint64_t copied = 0; copied < raw->bytes;) {
        if (observer.CancelRequested()) return {Failure::Cancelled, cuePath, ""};
        const std::uint64_t step = std::min(kStep, raw->bytes - copied);
        if (!out.CopyFrom(raw->fd, raw->offset + static_cast<off_t>(copied), step)) {
          return out.Error() == 0 ? TaskOutcome{Failure::AudioUndecodable, tracks[i], "the file ended early"}
                                  : writeFailure();
        }
        copied += step;
        progress.done += step;
        observer.Progress(progress);
      }
      frames = raw->bytes / 4;
    }
    if (!decoders[i].Raw()) samples.resize(kCdSectorFrames * 2 * 1792);
    while (!decoders[i].Raw()) {
      if (observer.CancelRequested()) return {Failure::Cancelled, cuePath, ""};
      const long got = decoders[i].Read(samples);
      if (got < 0) return {Failure::AudioUndecodable, tracks[i], "a read or conversion error"};
      if (got == 0) break;
      // CD byte order is the machine's on little-endian machines: no copy.
      const char* data = reinterpret_cast<const char*>(samples.data());
      std::size_t size = static_cast<std::size_t>(got) * 4;
      if constexpr (std::endian::native != std::endian::little) {
        PutLittleEndian(samples, static_cast<std::size_t>(got) * 2, bytes);
        data = bytes.data();
      }
      if (!out.Write(data, size)) return writeFailure();
      frames += static_cast<std::uint64_t>(got);
      progress.done += size;
      observer.Progress(progress);
    }
    const std::uint64_t padding = (kCdSectorFrames - frames % kCdSectorFrames) % kCdSectorFrames;
    if (!out.Write(std::string(padding * 4, '\0').data(), padding * 4)) return writeFailure();
    sectors.push_back((frames + padding) / kCdSectorFrames);
  }
  if (!out.Close()) return writeFailure();

  const std::size_t slash = binPath.rfind('/');
  BlockWriter cueOut(cue->TemporaryPath());
  const std::string sheet = CueSheet(slash == std::string::npos ? binPath : binPath.substr(slash + 1), sectors);
  if (!cueOut.Write(sheet.data(), sheet.size()) || !cueOut.Close()) {
    return {IsDiskFull(cueOut.Error()) ? Failure::DiskFull : Failure::WriteFailed, cuePath, "the .cue could not be written"};
  }
  // The .cue last: a .bin without it is no image.
  if (!bin->Commit(error)) return {Failure::TargetUnwritable, binPath, error};
  if (!cue->Commit(error)) return {Failure::TargetUnwritable, cuePath, error};
  progress.done = progress.total;
  observer.Progress(progress);
  return {};
}

}  // namespace orbcore
