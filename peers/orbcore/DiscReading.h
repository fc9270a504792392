// Reading discs and images: ripping audio tracks to WAV files, and copying
// an image byte for byte.
#pragma once

#include <string>

#include "peers/orbcore/Task.h"

namespace orbcore {

// The WAV file of track `number` (from 1): "Track 01.wav".
std::string RipFileName(unsigned number);

// The folder rips go to when the user names none: the XDG music folder
// (XDG_MUSIC_DIR of user-dirs.dirs), else ~/Music.
std::string DefaultMusicFolder();

// Reads the audio tracks of `source` (a drive, or a .cue with its .bin)
// with libcdio-paranoia into 44.1 kHz 16-bit stereo WAV files in `folder`.
// Each file appears only once it is whole.
TaskOutcome RipAudio(const std::string& source, const std::string& folder, TaskObserver& observer);

// Copies the image `source` to `target`: an .iso byte for byte; a .cue with
// its .bin (the copy's .cue naming the copy's .bin).
TaskOutcome CopyImage(const std::string& source, const std::string& target, TaskObserver& observer);

// Reads the data disc in `drive` (a libburn address; "stdio:<file>" reads
// a file as a disc) into the image file `target`, sector for sector from
// the start to the end of its ISO 9660 file system. An audio CD, a blank
// disc and a disc of several sessions on write-once media (whose gaps
// between sessions cannot be read) fail with what they are.
TaskOutcome ReadDataDisc(const std::string& drive, const std::string& target, TaskObserver& observer);

// A disc copied to a disc in the one drive `drive`: read into a temporary
// image, then the user is asked for a blank disc, the image is written to
// it (a rewritable disc blanked first with `newDisc`) and removed.
TaskOutcome CopyDiscInOneDrive(const std::string& drive, bool newDisc, TaskObserver& observer);

// Writes the image `source` to the blank disc in `drive`: an .iso as one
// data track, a .cue with its .bin as CD-DA tracks in one session. With
// `newDisc` a rewritable disc that holds something is blanked first.
TaskOutcome BurnImage(const std::string& source, const std::string& drive, bool newDisc, TaskObserver& observer);

}  // namespace orbcore
