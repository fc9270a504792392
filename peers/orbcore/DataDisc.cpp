// The data image through libisofs, written through libburn.
#include "peers/orbcore/DataDisc.h"

#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <libisoburn/libisoburn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "peers/orbcore/BurnSession.h"

namespace orbcore {

namespace {

struct ImageDeleter {
  void operator()(IsoImage* image) const { iso_image_unref(image); }
};
struct WriteOptsDeleter {
  void operator()(IsoWriteOpts* opts) const { iso_write_opts_free(opts); }
};

// File names read as UTF-8 whatever the locale, and any trouble reading a
// file ending the image.
void SetUpIso() {
  iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
  iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>("orbcore"));
  iso_set_abort_severity(const_cast<char*>("SORRY"));
}

// libisofs for the time of one image.
class IsoLibrary {
 public:
  IsoLibrary() : ok_(iso_init() >= 0) {
    if (ok_) SetUpIso();
  }
  ~IsoLibrary() {
    if (ok_) iso_finish();
  }
  IsoLibrary(const IsoLibrary&) = delete;
  IsoLibrary& operator=(const IsoLibrary&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

std::string LastName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.rfind('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// The folder `discFolder` of the image, made with every missing level.
IsoDir* DiscFolder(IsoImage* image, const std::string& discFolder) {
  IsoDir* dir = iso_image_get_root(image);
  std::size_t start = 0;
  while (start < discFolder.size()) {
    std::size_t end = discFolder.find('/', start);
    if (end == std::string::npos) end = discFolder.size();
    const std::string name = discFolder.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    IsoNode* node = nullptr;
    if (iso_dir_get_node(dir, name.c_str(), &node) == 1) {
      if (iso_node_get_type(node) != LIBISO_DIR) return nullptr;
      dir = reinterpret_cast<IsoDir*>(node);
    } else if (iso_tree_add_new_dir(dir, name.c_str(), &dir) < 0) {
      return nullptr;
    }
  }
  return dir;
}

// Adds one item of the list: a file, or a folder with its tree.
TaskOutcome AddSource(IsoImage* image, const DataSource& source) {
  struct stat info {};
  if (stat(source.path.c_str(), &info) != 0 || access(source.path.c_str(), R_OK) != 0) {
    return {Failure::SourceMissing, source.path, std::strerror(errno)};
  }
  IsoDir* parent = DiscFolder(image, source.discFolder);
  if (parent == nullptr) return {Failure::NameClash, source.path, "the disc folder is a file"};
  IsoNode* node = nullptr;
  int result = iso_tree_add_new_node(image, parent, LastName(source.path).c_str(), source.path.c_str(), &node);
  if (result == static_cast<int>(ISO_NODE_NAME_NOT_UNIQUE)) return {Failure::NameClash, source.path, iso_error_to_msg(result)};
  if (result >= 0 && S_ISDIR(info.st_mode)) {
    result = iso_tree_add_dir_rec(image, reinterpret_cast<IsoDir*>(node), source.path.c_str());
  }
  if (result < 0) return {Failure::SourceMissing, source.path, iso_error_to_msg(result)};
  return {};
}

TaskOutcome AddSources(IsoImage* image, const std::vector<DataSource>& sources) {
  iso_tree_set_follow_symlinks(image, 0);
  iso_tree_set_ignore_hidden(image, 0);
  for (const DataSource& source : sources) {
    if (TaskOutcome added = AddSource(image, source); !added.Succeeded()) return added;
  }
  return {};
}

// libisoburn names libburn's structures outside libburn's C++ namespace.
::burn_drive* Isoburn(burn::burn_drive* drive) { return reinterpret_cast<::burn_drive*>(drive); }
::burn_write_opts* Isoburn(burn::burn_write_opts* opts) { return reinterpret_cast<::burn_write_opts*>(opts); }

// libisoburn for one session, with the drive it grabbed.
class IsoburnSession {
 public:
  explicit IsoburnSession(const std::string& address) {
    char message[1024] = {};
    if (isoburn_initialize(message, 0) <= 0) return;
    started_ = true;
    SetUpIso();
    ::burn_drive_info* infos = nullptr;
    if (isoburn_drive_scan_and_grab(&infos, const_cast<char*>(address.c_str()), 1) <= 0 || infos == nullptr) return;
    infos_ = reinterpret_cast<burn::burn_drive_info*>(infos);
    drive_ = infos_[0].drive;
  }
  ~IsoburnSession() {
    if (drive_ != nullptr) isoburn_drive_release(Isoburn(drive_), 0);
    if (infos_ != nullptr) burn::burn_drive_info_free(infos_);
    if (started_) isoburn_finish();
  }
  IsoburnSession(const IsoburnSession&) = delete;
  IsoburnSession& operator=(const IsoburnSession&) = delete;

  burn::burn_drive* drive() const { return drive_; }
 private:
  bool started_ = false;
  burn::burn_drive_info* infos_ = nullptr;
  burn::burn_drive* drive_ = nullptr;
};

}  // namespace

bool HoldsIsoFileSystem(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char id[5] = {};
  file.seekg(32769);  // the first volume descriptor's identifier
  return file.read(id, 5) && std::string_view(id, 5) == "CD001";
}

TaskOutcome AppendDataSession(const std::vector<DataSource>& sources, const std::string& drive, TaskObserver& observer) {
  if (sources.empty()) return {Failure::NothingToDo, "", ""};
  const std::string& image = drive;  // named in messages
  IsoburnSession session(drive);
  if (session.drive() == nullptr) return {Failure::NoDrive, image, "libisoburn cannot open it"};
  BurnLibrary burn(false);
  ::burn_drive* target = Isoburn(session.drive());
  switch (isoburn_disc_get_status(target)) {
    case burn::BURN_DISC_BLANK:
    case burn::BURN_DISC_APPENDABLE: break;
    default: return {Failure::DiscNotWritable, image, ""};
  }

  isoburn_read_opts* readOpts = nullptr;
  isoburn_ropt_new(&readOpts, 0);
  isoburn_ropt_set_extensions(readOpts, isoburn_ropt_noiso1999);
  IsoImage* raw = nullptr;
  const int read = isoburn_read_image(target, readOpts, &raw);
  isoburn_ropt_destroy(&readOpts, 0);
  if (read <= 0 || raw == nullptr) return {Failure::SourceUnreadable, image, "the sessions on it cannot be read"};
  const std::unique_ptr<IsoImage, ImageDeleter> tree(raw);
  if (TaskOutcome added = AddSources(tree.get(), sources); !added.Succeeded()) return added;

  isoburn_imgen_opts* opts = nullptr;
  isoburn_igopt_new(&opts, 0);
  isoburn_igopt_set_level(opts, 3);
  isoburn_igopt_set_extensions(opts, isoburn_igopt_rockridge | isoburn_igopt_joliet);
  ::burn_disc* disc = nullptr;
  const int prepared = isoburn_prepare_disc(target, &disc, opts);
  isoburn_igopt_destroy(&opts, 0);
  if (prepared <= 0 || disc == nullptr) return {Failure::WriteFailed, image, burn.LastMessage()};
  auto* libburnDisc = reinterpret_cast<burn::burn_disc*>(disc);
  const std::uint64_t bytes = static_cast<std::uint64_t>(burn::burn_disc_get_sectors(libburnDisc)) * 2048;
  burn::burn_write_opts* writeOpts = NewWriteOptions(session.drive());
  char reasons[BURN_REASONS_LEN] = {};
  burn::burn_write_opts_auto_write_type(writeOpts, libburnDisc, reasons, 0);
  burn.LastMessage();
  isoburn_disc_write(Isoburn(writeOpts), disc);
  burn::burn_write_opts_free(writeOpts);
  TaskOutcome outcome = WatchWrite(session.drive(), bytes, burn, observer, image);
  isoburn_sync_after_write(target, nullptr, 0);
  if (outcome.Succeeded() && isoburn_activate_session(target) <= 0) {
    outcome = {Failure::WriteFailed, image, "the new session could not be made the current one"};
  }
  burn::burn_disc_free(libburnDisc);
  return outcome;
}

TaskOutcome WriteDataDisc(const std::vector<DataSource>& sources, const std::string& drive, TaskObserver& observer) {
  if (sources.empty()) return {Failure::NothingToDo, "", ""};
  IsoLibrary iso;
  if (!iso.ok()) return {Failure::WriteFailed, "", "libisofs did not start"};

  IsoImage* raw = nullptr;
  if (iso_image_new("ORBWEAVE", &raw) < 0) return {Failure::WriteFailed, "", "no image"};
  const std::unique_ptr<IsoImage, ImageDeleter> image(raw);
  if (TaskOutcome added = AddSources(image.get(), sources); !added.Succeeded()) return added;

  IsoWriteOpts* rawOpts = nullptr;
  if (iso_write_opts_new(&rawOpts, 0) < 0) return {Failure::WriteFailed, "", "no write options"};
  const std::unique_ptr<IsoWriteOpts, WriteOptsDeleter> opts(rawOpts);
  iso_write_opts_set_iso_level(opts.get(), 3);  // files of 4 GiB and more
  iso_write_opts_set_rockridge(opts.get(), 1);
  iso_write_opts_set_joliet(opts.get(), 1);
  iso_write_opts_set_joliet_longer_paths(opts.get(), 1);
  iso_write_opts_set_joliet_long_names(opts.get(), 1);
  iso_write_opts_set_dir_rec_mtime(opts.get(), 3);  // the files' own times under ISO 9660 and Joliet too

  BurnLibrary burn;
  if (!burn.ok()) return {Failure::WriteFailed, "", "libburn did not start"};
  BurnDrive target(drive);
  if (!target.ok()) return {Failure::NoDrive, drive, burn.LastMessage()};

  ::burn_source* source = nullptr;
  const int made = iso_image_create_burn_source(image.get(), opts.get(), &source);
  if (made < 0) return {Failure::WriteFailed, "", iso_error_to_msg(made)};
  return target.WriteTrack(reinterpret_cast<burn::burn_source*>(source), BurnDrive::TrackMode::Data, burn, observer);
}

}  // namespace orbcore
