// regedit: imports a registry file into the hives (/s) and exports a key with
// its subtree to one (/a as REGEDIT4 text, /e as version 5.00 UTF-16).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "compat/win32/File.h"
#include "compat/win32/StringConv.h"
#include "peers/regedit/RegFile.h"

namespace {

constexpr const char* kUsage =
    "usage: regedit /s file.reg         import the file\n"
    "       regedit /a file.reg KEY     export KEY and its subkeys as REGEDIT4\n"
    "       regedit /e file.reg KEY     export KEY and its subkeys as version 5.00\n";

[[noreturn]] void FailFile(const std::string& name, const std::string& what) {
  throw regfile::Error(name + ": " + what);
}

[[noreturn]] void FailSystem(const std::string& name, const std::string& what) {
  FailFile(name, what + ": " + std::generic_category().message(errno));
}

// File names may come in Windows form ("Z:\tmp\x.reg") as well as POSIX form.
std::string PathOf(const std::string& name) {
  const auto path = compat::win32::PosixPath(compat::win32::FileNameToUtf16(name));
  if (!path) throw regfile::Error("no such path: " + name);
  return *path;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Registry files are regular files only. The path is looked at before it is
// opened, so a folder or a device is refused unread; it is opened without
// waiting, so a named pipe put in its place meanwhile cannot stall the run,
// and looked at again through the descriptor.
Descriptor OpenRegularFile(const std::string& name, int flags) {
  const std::string path = PathOf(name);
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
    FailFile(name, std::string("is ") + KindOf(info.st_mode) + ", not a registry file");
  Descriptor file(open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666));
  if (file.get() < 0) FailSystem(name, (flags & O_CREAT) != 0 ? "cannot write" : "cannot open");
  if (fstat(file.get(), &info) != 0) FailSystem(name, "cannot open");
  if (!S_ISREG(info.st_mode))
    FailFile(name, std::string("is ") + KindOf(info.st_mode) + ", not a registry file");
  return file;
}

void Import(const std::string& name) {
  const Descriptor file = OpenRegularFile(name, O_RDONLY);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) FailSystem(name, "cannot read");
    if (count == 0) break;
    bytes.append(buffer, static_cast<size_t>(count));
  }
  try {
    regfile::Apply(regfile::Parse(regfile::DecodeFile(bytes)));
  } catch (const regfile::Error& error) {
    FailFile(name, error.what());
  }
}

// A name as it can be shown on one line: control characters escaped.
std::string Shown(std::u16string_view name) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  std::u16string shown;
  for (char16_t c : name) {
    if (c == u'\r') shown += u"\\r";
    else if (c == u'\n') shown += u"\\n";
    else if (c < 0x20) shown += std::u16string{u'\\', u'x', kHex[c >> 4], kHex[c & 0xF]};
    else shown += c;
  }
  return compat::win32::Utf16ToAnsi(shown);
}

// Writes the file even when values were left out, and says which: the
// exit status tells that the file is incomplete.
bool Export(const std::string& name, const std::string& key, regfile::Format format) {
  std::vector<regfile::Loss> losses;
  const std::string bytes = regfile::Export(compat::win32::AnsiToUtf16(key), format, &losses);
  bool complete = true;
  for (const regfile::Loss& loss : losses) {
    const std::string in = Shown(loss.key);
    const std::string named = "\"" + Shown(loss.name) + "\"";
    switch (loss.kind) {
      case regfile::Loss::Kind::kInexactValue:
        std::fprintf(stderr, "regedit: warning: value %s of %s is not exact in a REGEDIT4 file\n",
                     named.c_str(), in.c_str());
        break;
      case regfile::Loss::Kind::kInexactKey:
        std::fprintf(stderr, "regedit: warning: key %s is not exact in a REGEDIT4 file\n", in.c_str());
        break;
      case regfile::Loss::Kind::kOmittedValue:
        std::fprintf(stderr, "regedit: %s: value %s of %s left out: a registry file cannot hold its name\n",
                     name.c_str(), named.c_str(), in.c_str());
        complete = false;
        break;
      case regfile::Loss::Kind::kOmittedKey:
        std::fprintf(stderr,
                     "regedit: %s: subkey %s of %s left out with its subtree: a registry file cannot hold "
                     "its name\n",
                     name.c_str(), named.c_str(), in.c_str());
        complete = false;
        break;
    }
  }
  const Descriptor file = OpenRegularFile(name, O_WRONLY | O_CREAT);
  if (ftruncate(file.get(), 0) != 0) FailSystem(name, "cannot write");
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t count = write(file.get(), bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) FailSystem(name, "cannot write");
    done += static_cast<size_t>(count);
  }
  return complete;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Switches start with / or - and ignore case; a file alone is imported.
  char option = 's';
  int first = 1;
  if (argc > 1 && (argv[1][0] == '/' || argv[1][0] == '-') && argv[1][1] != 0 && argv[1][2] == 0) {
    option = static_cast<char>(argv[1][1] | 0x20);
    first = 2;
  }
  const int operands = argc - first;
  try {
    if (option == 's' && operands == 1) {
      Import(argv[first]);
    } else if ((option == 'a' || option == 'e') && operands == 2) {
      if (!Export(argv[first], argv[first + 1],
                  option == 'a' ? regfile::Format::kRegedit4 : regfile::Format::kVersion5))
        return 1;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  } catch (const std::exception& error) {
    // A bad file, a registry failure, or memory running out: all end the
    // same way, with the reason.
    std::fprintf(stderr, "regedit: %s\n", error.what());
    return 1;
  }
  return 0;
}
