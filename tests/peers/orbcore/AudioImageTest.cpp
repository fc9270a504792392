// Audio CDs written as BIN/CUE and read back with libcdio, ripped back to WAV
// files, and image copies: the PCM of every track comes back as it went in.
#include <cdio/cdio.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "compat/win32/Path.h"

namespace {

using namespace engine_test;
namespace fs = std::filesystem;

constexpr std::size_t kSectorFrames = 588;

// 16-bit samples, interleaved; a pattern that differs per track and channel.
std::vector<short> Pcm(std::size_t frames, int channels, int seed) {
  std::vector<short> samples(frames * static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>((i * 7919 + seed * 104729) % 65536);
  return samples;
}

// With a title, a WAV file gets a LIST chunk before its samples.
void WriteSound(const std::string& path, const std::vector<short>& samples, int rate, int channels, int format,
                const char* title = nullptr) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  if (title != nullptr) sf_set_string(file, SF_STR_TITLE, title);
  sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
}

std::vector<short> ReadWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
  sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
  return samples;
}

// CD audio as libcdio reads a track: little-endian 16-bit samples.
std::vector<short> ReadTrack(CdIo_t* cdio, track_t track) {
  const lsn_t first = cdio_get_track_lsn(cdio, track);
  const lsn_t last = cdio_get_track_last_lsn(cdio, track);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(last - first + 1) * CDIO_CD_FRAMESIZE_RAW);
  if (cdio_read_audio_sectors(cdio, bytes.data(), first, static_cast<unsigned>(last - first + 1)) != DRIVER_OP_SUCCESS) {
    return {};
  }
  std::vector<short> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return samples;
}

// `samples` with silence up to whole sectors.
std::vector<short> Padded(std::vector<short> samples) {
  samples.resize((samples.size() / 2 + kSectorFrames - 1) / kSectorFrames * kSectorFrames * 2, 0);
  return samples;
}

class AudioImageTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fs::create_directories(out_);
  }

  // Runs a task with `paths` as its audio list (task 0) or no input.
  bool RunTask(std::uint32_t task, const std::vector<std::string>& paths) {
    std::vector<std::u16string> texts;
    for (const std::string& path : paths) texts.push_back(compat::win32::WindowsPath(path));
    std::vector<IgnisText> pointers;
    for (const std::u16string& text : texts) pointers.push_back(text.c_str());
    AudioCdListInput list{0, static_cast<std::uint32_t>(pointers.size()), pointers.data()};
    ShellRecord shell;
    shell.record.taskCode = task;
    shell.record.startMode = kStartWithInput;
    shell.record.taskInput = task == kTaskAudioCd ? &list : nullptr;
    void* results = Start(shell.record);
    const bool ok = results != nullptr && *static_cast<std::uint32_t*>(results) == 1;
    free_(results);
    return ok;
  }

  std::string out_ = folder() / "out";
};

// Four tracks: CD format (whole sectors and not), FLAC, and 22.05 kHz mono
// that is converted. libcdio reads the same PCM back; a rip gives it as WAV.
TEST_F(AudioImageTest, BinCueReadsBackAndRipsToTheSamePcm) {
  const std::vector<short> exact = Pcm(kSectorFrames * 10, 2, 1), ragged = Pcm(kSectorFrames * 3 + 100, 2, 2),
                           lossless = Pcm(kSectorFrames * 4, 2, 3), mono = Pcm(22050, 1, 4);
  const std::string tracks[] = {folder() / "01 \u00e9t\u00e9.wav", folder() / "02.wav", folder() / "03.flac",
                                folder() / "04.wav"};
  WriteSound(tracks[0], exact, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteSound(tracks[1], ragged, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteSound(tracks[2], lossless, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  WriteSound(tracks[3], mono, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const std::string cue = out_ + "/disc.cue";
  SetEnv("ORBCORE_TARGET", cue);
  ASSERT_TRUE(RunTask(kTaskAudioCd, {std::begin(tracks), std::end(tracks)}));
  // libcdio finds the .bin by the .cue's name; other readers go by the FILE line.
  EXPECT_TRUE(testing_support::ReadFile(cue).starts_with("FILE \"disc.bin\" BINARY\r\n"));

  CdIo_t* cdio = cdio_open_cue(cue.c_str());
  ASSERT_NE(cdio, nullptr);
  ASSERT_EQ(cdio_get_num_tracks(cdio), 4);
  EXPECT_EQ(ReadTrack(cdio, 1), exact);
  EXPECT_EQ(ReadTrack(cdio, 2), Padded(ragged));
  EXPECT_EQ(ReadTrack(cdio, 3), lossless);
  // One second at 22.05 kHz is one second at 44.1 kHz: 75 sectors.
  const std::vector<short> converted = ReadTrack(cdio, 4);
  EXPECT_NEAR(static_cast<double>(converted.size()) / 2 / kSectorFrames, 75, 1);
  cdio_destroy(cdio);

  const std::string rip = folder() / "rip";
  SetEnv("ORBCORE_SOURCE", cue);
  SetEnv("ORBCORE_TARGET", rip);
  ASSERT_TRUE(RunTask(kTaskRipAudioCd, {}));
  EXPECT_EQ(ReadWav(rip + "/Track 01.wav"), exact);
  EXPECT_EQ(ReadWav(rip + "/Track 02.wav"), Padded(ragged));
  EXPECT_EQ(ReadWav(rip + "/Track 03.wav"), lossless);
  EXPECT_EQ(ReadWav(rip + "/Track 04.wav").size(), converted.size());
}

// CD-format WAV files are copied as they lie in the file: samples after a chunk of their own, and a file cut
// short whose header promises more than it holds, give exactly their samples.
TEST_F(AudioImageTest, CdFormatSamplesAreTakenFromWhereTheyLie) {
  const std::vector<short> titled = Pcm(kSectorFrames * 2 + 7, 2, 5), cut = Pcm(kSectorFrames * 3, 2, 6);
  const std::string tracks[] = {folder() / "titled.wav", folder() / "cut.wav"};
  WriteSound(tracks[0], titled, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "A title long enough to be seen");
  WriteSound(tracks[1], cut, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  fs::resize_file(tracks[1], fs::file_size(tracks[1]) - kSectorFrames * 4);
  const std::string cue = out_ + "/disc.cue";
  SetEnv("ORBCORE_TARGET", cue);
  ASSERT_TRUE(RunTask(kTaskAudioCd, {std::begin(tracks), std::end(tracks)}));
  CdIo_t* cdio = cdio_open_cue(cue.c_str());
  ASSERT_NE(cdio, nullptr);
  EXPECT_EQ(ReadTrack(cdio, 1), Padded(titled));
  EXPECT_EQ(ReadTrack(cdio, 2), std::vector<short>(cut.begin(), cut.end() - kSectorFrames * 2));
  cdio_destroy(cdio);
}

// A copy is byte for byte: an .iso alone, a .cue with its .bin (the copy's
// .cue names the copy's .bin).
TEST_F(AudioImageTest, CopiesAreByteIdentical) {
  std::string iso(3 << 20, '\0');
  for (std::size_t i = 0; i < iso.size(); ++i) iso[i] = static_cast<char>(i * 31 % 251);
  testing_support::WriteFile(folder() / "in.iso", iso);
  testing_support::WriteFile(folder() / "in.bin", iso.substr(0, kSectorFrames * 4 * 5));
  testing_support::WriteFile(folder() / "in.cue", "FILE \"in.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
  SetEnv("ORBCORE_SOURCE", folder() / "in.iso");
  SetEnv("ORBCORE_TARGET", out_ + "/copy.iso");
  ASSERT_TRUE(RunTask(kTaskCopyDisc, {}));
  EXPECT_TRUE(testing_support::ReadFile(out_ + "/copy.iso") == iso);

  SetEnv("ORBCORE_SOURCE", folder() / "in.cue");
  SetEnv("ORBCORE_TARGET", out_ + "/copy.cue");
  ASSERT_TRUE(RunTask(kTaskCopyDisc, {}));
  EXPECT_TRUE(testing_support::ReadFile(out_ + "/copy.bin") == iso.substr(0, kSectorFrames * 4 * 5));
  EXPECT_EQ(testing_support::ReadFile(out_ + "/copy.cue"),
            "FILE \"copy.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
}

// Without an image target the tasks go to the drive, here one recorded for a device that is not there: the
// audio CD is decoded in a temporary folder that goes again, and nothing is written anywhere else.
TEST_F(AudioImageTest, DriveTasksFailWithoutTheDriveAndLeaveNothingBehind) {
  fs::create_directories(folder() / "sys/block/sr9/device");
  testing_support::WriteFile(folder() / "sys/block/sr9/device/type", "5\n");
  SetEnv("KVN_SPTI_SYSFS", folder() / "sys");
  const std::string temporary = folder() / "tmp";
  fs::create_directories(temporary);
  SetEnv("TMPDIR", temporary);
  const std::string track = folder() / "01.wav";
  WriteSound(track, Pcm(kSectorFrames, 2, 7), 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing_support::WriteFile(folder() / "in.iso", std::string(2048 * 16, 'i'));
  EXPECT_FALSE(RunTask(kTaskAudioCd, {track}));
  EXPECT_TRUE(fs::is_empty(temporary));
  SetEnv("ORBCORE_SOURCE", folder() / "in.iso");
  EXPECT_FALSE(RunTask(kTaskCopyDisc, {}));
  EXPECT_TRUE(fs::is_empty(temporary));
  EXPECT_TRUE(fs::is_empty(out_));
}

// A file that is no audio, a missing image to copy, a .cue copied onto a
// folder: nothing appears, not even the .bin of the pair.
TEST_F(AudioImageTest, UnreadableInputsWriteNothing) {
  testing_support::WriteFile(folder() / "notes.wav", "not a sound");
  SetEnv("ORBCORE_TARGET", out_ + "/disc.cue");
  EXPECT_FALSE(RunTask(kTaskAudioCd, {folder() / "notes.wav"}));
  SetEnv("ORBCORE_SOURCE", folder() / "none.iso");
  SetEnv("ORBCORE_TARGET", out_ + "/copy.iso");
  EXPECT_FALSE(RunTask(kTaskCopyDisc, {}));
  EXPECT_TRUE(fs::is_empty(out_));

  testing_support::WriteFile(folder() / "in.bin", std::string(kSectorFrames * 4, 'a'));
  testing_support::WriteFile(folder() / "in.cue", "FILE \"in.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
  fs::create_directory(out_ + "/copy.cue");
  SetEnv("ORBCORE_SOURCE", folder() / "in.cue");
  SetEnv("ORBCORE_TARGET", out_ + "/copy.cue");
  EXPECT_FALSE(RunTask(kTaskCopyDisc, {}));
  EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 1);
}

}  // namespace
