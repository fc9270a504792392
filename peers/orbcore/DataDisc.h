// A data disc: an ISO 9660 file system with Joliet and Rock Ridge names,
// built from the task's files and folders and streamed to a drive or to an
// image file as it is produced; the image is never held whole in memory or
// copied to disk first.
#pragma once

#include <string>
#include <vector>

#include "peers/orbcore/Task.h"

namespace orbcore {

struct DataSource {
  std::string path;        // POSIX path of a file or folder
  std::string discFolder;  // where it goes on the disc: "/" or "/a/b"
};

// Writes the image of `sources` through the drive `drive` (a libburn address;
// "stdio:<file>" writes a file). A folder brings its whole tree under its own
// name; names, modes and times come from the files.
TaskOutcome WriteDataDisc(const std::vector<DataSource>& sources, const std::string& drive, TaskObserver& observer);

// Whether `path` holds an ISO 9660 file system (an earlier image).
bool HoldsIsoFileSystem(const std::string& path);

// Adds `sources` as a new session to what the drive `drive` holds (a disc, or
// "stdio:<file>" an image file), keeping the earlier sessions' files
// (libisoburn: on a file or rewritable medium the newest session's tree is
// made the one the start points to). A blank medium gets a first session.
TaskOutcome AppendDataSession(const std::vector<DataSource>& sources, const std::string& drive, TaskObserver& observer);

}  // namespace orbcore
