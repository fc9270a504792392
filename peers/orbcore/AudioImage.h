// Audio CDs: tracks decoded from WAV, FLAC or Ogg files (libsndfile), turned
// into CD audio (44.1 kHz, 16-bit, stereo; libsamplerate converts other
// rates), and written as a BIN/CUE pair.
//
// The .bin holds each track's PCM in CD byte order (16-bit little-endian,
// left before right), padded with silence to whole 2352-byte sectors; tracks
// follow each other with no gap between them. The 2-second pregap every
// audio CD has before track 1 belongs to the disc's lead-in area (the first
// sector of track 1 is 00:02:00 on the disc), so it is not stored in the
// .bin and the .cue does not announce it: track 1 starts at 00:00:00 of the
// file, and each further track's INDEX 01 is where the previous one ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "peers/orbcore/Task.h"

namespace orbcore {

inline constexpr std::size_t kCdSectorBytes = 2352;
inline constexpr std::size_t kCdSectorFrames = 588;  // 2352 bytes of 16-bit stereo

// The .cue text for tracks of the given lengths in sectors, the .bin named
// `binName`.
std::string CueSheet(const std::string& binName, const std::vector<std::uint64_t>& trackSectors);

// Decodes `tracks` (POSIX paths) into `cuePath` and the .bin beside it (the
// .cue's name with ".bin"). Both appear only when the whole pair is written.
TaskOutcome WriteAudioImage(const std::vector<std::string>& tracks, const std::string& cuePath,
                            TaskObserver& observer);

}  // namespace orbcore
