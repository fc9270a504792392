// An output file that never looks complete before it is: the engine writes
// a temporary sibling it created itself and renames it over the target only
// when the task succeeded; any other end removes the temporary and leaves
// whatever was at the target as it was.
#pragma once

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

// `path` with its extension (if its last name has one) replaced by `extension`.
std::string WithExtension(const std::string& path, const char* extension);

// What a path is, in words, when it is not a regular file ("a folder"); empty
// for a regular file or nothing at all.
std::string NotARegularFile(const std::string& path);

}  // namespace orbcore
