// An output file that never looks complete before it is: the engine writes
// a temporary sibling it created itself and renames it over the target only
// when the task succeeded; any other end removes the temporary and leaves
// whatever was at the target as it was.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace orbcore {

class TargetFile {
 public:
  // Refuses a target that exists and is not a regular file (a folder, a
  // device, a pipe): `error` then says what it is. A regular file there is
  // replaced only by Commit.
  static std::optional<TargetFile> Create(const std::string& path, std::string& error);

  TargetFile(TargetFile&& other) noexcept;
  TargetFile& operator=(TargetFile&&) = delete;
  TargetFile(const TargetFile&) = delete;
  ~TargetFile();

  const std::string& Path() const { return path_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Renames the temporary over the target; false with `error` if it could not.
  bool Commit(std::string& error);

 private:
  TargetFile(std::string path, std::string temporary) : path_(std::move(path)), temporary_(std::move(temporary)) {}

  std::string path_;
  std::string temporary_;  // empty once committed or moved from
};

// A file written in big blocks through its own descriptor: bytes the task
// made (Write) and ranges of other files (CopyFrom), which the kernel copies
// without passing them through the process.
class BlockWriter {
 public:
  explicit BlockWriter(const std::string& path);
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;
  ~BlockWriter();

  bool Write(const void* data, std::size_t size);
  // `bytes` of the file open as `from`, from `offset` on; false when the
  // source ended early or a read or write failed.
  bool CopyFrom(int from, off_t offset, std::uint64_t bytes);
  // Closes the file; false when it or an earlier call failed.
  bool Close();

  // The errno of the first failure; 0 when none (or the source ended early).
  int Error() const { return error_; }

 private:
  bool Fail(int error);

  int fd_ = -1;
  int error_ = 0;
  bool failed_ = false;
};

// A folder of the engine's own under $TMPDIR (else /tmp), removed with
// everything in it when it goes: for what a task writes on the way (a disc
// read for a copy, an audio CD's decoded tracks).
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Empty when the folder could not be made; `Error` then says why.
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};

// Whether an errno says that the disk or the file size limit is full.
bool IsDiskFull(int error);

// `path` with its extension (if its last name has one) replaced by `extension`.
std::string WithExtension(const std::string& path, const char* extension);

// What a path is, in words, when it is not a regular file ("a folder"); empty
// for a regular file or nothing at all.
std::string NotARegularFile(const std::string& path);

}  // namespace orbcore
