// The temporary sibling of a target file and its rename at success.
#include "peers/orbcore/TargetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace orbcore {

std::string NotARegularFile(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return "";
  switch (info.st_mode & S_IFMT) {
    case S_IFREG: return "";
    case S_IFDIR: return "a folder";
    case S_IFLNK: return "a symbolic link";
    case S_IFIFO: return "a named pipe";
    case S_IFSOCK: return "a socket";
    default: return "a device";
  }
}

std::string WithExtension(const std::string& path, const char* extension) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? path.substr(0, dot) : path) + extension;
}

ScratchFolder::ScratchFolder() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::string pattern = (error ? std::filesystem::path("/tmp") : base) / "orbcore-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
  } else {
    error_ = pattern + ": " + std::strerror(errno);
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

std::optional<TargetFile> TargetFile::Create(const std::string& path, std::string& error) {
  if (const std::string what = NotARegularFile(path); !what.empty()) {
    error = what;
    return std::nullopt;
  }
  // Beside the target, so the rename stays on one file system; hidden, and
  // named so that nobody takes it for the finished image.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "/." + name + ".orbcore-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  fchmod(fd, 0644 & ~[] { const mode_t mask = umask(0); umask(mask); return mask; }());
  close(fd);
  return TargetFile(path, buffer.data());
}

TargetFile::TargetFile(TargetFile&& other) noexcept : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)) {
  other.temporary_.clear();
}

TargetFile::~TargetFile() {
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

bool TargetFile::Commit(std::string& error) {
  // Checked again: something may have been put at the target meanwhile.
  if (const std::string what = NotARegularFile(path_); !what.empty()) {
    error = what;
    return false;
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  temporary_.clear();
  return true;
}

BlockWriter::BlockWriter(const std::string& path)
    : fd_(open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) {
  if (fd_ < 0) Fail(errno);
}

BlockWriter::~BlockWriter() {
  if (fd_ >= 0) close(fd_);
}

bool BlockWriter::Fail(int error) {
  if (!failed_) error_ = error;
  failed_ = true;
  return false;
}

bool BlockWriter::Write(const void* data, std::size_t size) {
  if (failed_) return false;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd_, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail(written < 0 ? errno : ENOSPC);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool BlockWriter::CopyFrom(int from, off_t offset, std::uint64_t bytes) {
  if (failed_) return false;
  bool kernelCopy = true;
  std::vector<char> buffer;
  while (bytes > 0) {
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, 1 << 30));
    ssize_t copied = -1;
    if (kernelCopy) {
      copied = copy_file_range(from, &offset, fd_, nullptr, step, 0);
      // Older kernels and some file systems cannot: read and write instead.
      if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        kernelCopy = false;
        continue;
      }
    } else {
      buffer.resize(4 << 20);
      copied = pread(from, buffer.data(), std::min(step, buffer.size()), offset);
      if (copied > 0) {
        if (!Write(buffer.data(), static_cast<std::size_t>(copied))) return false;
        offset += copied;
      }
    }
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0) return Fail(errno);
    if (copied == 0) return Fail(0);
    bytes -= static_cast<std::uint64_t>(copied);
  }
  return true;
}

bool BlockWriter::Close() {
  if (fd_ >= 0 && close(fd_) != 0) Fail(errno);
  fd_ = -1;
  return !failed_;
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT; }

}  // namespace orbcore
