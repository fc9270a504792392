// A registry hive in SQLite: a table of keys (each knowing its parent) and a
// table of values, both keyed by the folded name so that lookups ignore case
// while the stored name keeps the caller's spelling.
#include "compat/win32/RegistryHive.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"
#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Time.h"

namespace compat::win32::registry {

namespace {

// Names are stored as UTF-8 so the hive reads well in any SQLite tool; a lone
// surrogate keeps its three-byte form, so every UTF-16 name comes back
// exactly as it was given.
std::string NameToText(std::u16string_view name) { return Utf16ToUtf8KeepingSurrogates(name); }

std::u16string TextToName(const unsigned char* text, int size) {
  return Utf8ToUtf16KeepingSurrogates(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size)));
}

// The folded name (every unit upper-cased, as FoldObjectName does) as
// big-endian units into `key`, which holds 2 * name.size() bytes: byte order
// is then code-unit order, which is the order in which the hive enumerates
// names. Folded unit by unit straight into the key, as every lookup binds one.
void FoldKey(std::u16string_view name, char* key) {
  for (char16_t unit : name) {
    const char16_t upper = ToUpper(unit);
    *key++ = static_cast<char>(upper >> 8);
    *key++ = static_cast<char>(upper & 0xFF);
  }
}

LONG ErrorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_LOCK_VIOLATION;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_BADDB;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

std::int64_t FileTimeNow() { return static_cast<std::int64_t>(FileTimeTicksNow()); }

constexpr int kBusyTimeoutMs = 5000;
// Version 1 kept no time in a value's row; version 2 adds it, so that a
// value write changes one row, not also its key's.
constexpr std::int64_t kFormatVersion = 2;
constexpr std::int64_t kFormatWithoutValueTimes = 1;

constexpr int kLookasideSlotBytes = 512;
constexpr int kLookasideSlots = 32;

// SQLite, run as root, hands each log and index file it opens to the hive's
// owner, whether or not the file has that owner already; each change is an
// inode update the file system journals. This changes the owner only when it
// differs.
int ChownIfOtherOwner(int fd, uid_t owner, gid_t group) {
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_uid == owner && info.st_gid == group) return 0;
  return fchown(fd, owner, group);
}

// SQLite gives every connection a lookaside arena of 120 KB and a first
// block of 20 page-cache lines, and threads both into free lists when the
// connection opens, which writes every page of them. A hive holds a few
// kilobytes and is opened at every start of every program, so a small arena
// serves it as well, and the page cache grows as pages are read. SQLite takes
// these settings only before its first use in the process; a later call is
// refused and changes nothing.
// This SQLite is the stand-in's own copy, and the registry uses a connection
// only while it holds its lock: SQLite need not lock a connection at every
// call of its own (multi-thread mode), nor its allocator to count memory
// nobody asks about.
void ConfigureSqlite() {
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_config(SQLITE_CONFIG_MULTITHREAD);
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3_config(SQLITE_CONFIG_LOOKASIDE, kLookasideSlotBytes, kLookasideSlots);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    sqlite3_vfs* files = sqlite3_vfs_find(nullptr);
    if (files != nullptr && files->iVersion >= 3 && files->xSetSystemCall != nullptr)
      files->xSetSystemCall(files, "fchown", reinterpret_cast<sqlite3_syscall_ptr>(&ChownIfOtherOwner));
  });
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// The size of a regular file, or -1 for anything else.
off_t RegularFileSize(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
}

// `info` is the entry's stat, when the caller has it already.
bool EntryWritable(const std::string& path, const struct stat& info) {
  return (info.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
}

bool EntryWritable(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && EntryWritable(path, info);
}

std::string FolderOf(const std::string& file) { return ParentFolder(file); }

// A file: URI for SQLite; only the characters that URIs reserve are escaped.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      AppendPercentEscape(uri, c);
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER,"
    " name TEXT NOT NULL,"
    " fold BLOB NOT NULL,"
    " class TEXT NOT NULL DEFAULT '',"
    " written INTEGER NOT NULL,"
    " UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " fold BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " written INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold, written) VALUES(1, NULL, '', x'', 0);"
    "PRAGMA user_version = 2;";
static_assert(kFormatVersion == 2, "the schema sets the format version");

// A key's last-write time is the later of its own row's (made, renamed,
// a subkey or value removed) and that of its latest value write.
constexpr const char* kUpgrade =
    "ALTER TABLE vals ADD COLUMN written INTEGER NOT NULL DEFAULT 0;"
    "PRAGMA user_version = 2;";
// A version-1 hive that this process may not upgrade is read through a view
// that gives its values the time 0; SQLite looks names up in the
// connection's own temporary schema first.
constexpr const char* kValueTimesView =
    "CREATE TEMP VIEW IF NOT EXISTS vals AS SELECT key, name, fold, type, data, 0 AS written FROM main.vals;";

// What every writable connection to a hive sets. SQLite keeps only the
// journal mode in the file. The log and its index file stay beside the hive
// when the last connection closes (PERSIST_WAL): the log folded into the hive
// and emptied, the index left for the next process to rebuild in place.
// Making the two files anew at every start and removing them at every exit
// (a new inode each, on ext4 found past the ones just freed) took a seventh
// of a headless start's processor time. A log is cut back to 1 MiB after it
// grew beyond that.
constexpr const char* kConnectionSettings = "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=1048576;";

// The time of the latest value write in the key of the current keys row.
#define LATEST_VALUE_WRITE "(SELECT max(vals.written) FROM vals WHERE vals.key = keys.id)"

// Every key strictly below ?1.
#define BELOW                                                     \
  "WITH RECURSIVE below(id) AS (SELECT id FROM keys WHERE parent = ?1" \
  " UNION ALL SELECT keys.id FROM keys JOIN below ON keys.parent = below.id) "

}  // namespace

// One use of a cached statement: binds in order, steps, reads columns, and
// leaves the statement reset for the next use.
class Hive::Query {
 public:
  Query(Hive& hive, const char* sql) : hive_(hive), stmt_(hive.Prepare(sql)) {}
  ~Query() {
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Int(std::int64_t value) {
    if (stmt_ != nullptr) sqlite3_bind_int64(stmt_, ++bound_, value);
    return *this;
  }
  Query& Name(std::u16string_view name) {
    const std::string text = NameToText(name);
    if (stmt_ != nullptr)
      sqlite3_bind_text(stmt_, ++bound_, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
    return *this;
  }
  Query& Fold(std::u16string_view name) {
    // Most names fit the buffer on the stack; SQLite copies the bound bytes.
    constexpr size_t kShortName = 128;
    char shortKey[2 * kShortName];
    std::string longKey;
    char* key = shortKey;
    if (name.size() > kShortName) {
      longKey.resize(2 * name.size());
      key = longKey.data();
    }
    FoldKey(name, key);
    return Blob(key, 2 * name.size());
  }
  Query& Blob(const void* data, size_t size) {
    // A null pointer would bind SQL NULL; an empty value is an empty blob.
    static const char kEmpty = 0;
    if (stmt_ != nullptr)
      sqlite3_bind_blob64(stmt_, ++bound_, size == 0 ? &kEmpty : data, size, SQLITE_TRANSIENT);
    return *this;
  }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() {
    // A statement that could not be prepared (the schema unreadable, say)
    // answers with the reason it could not be.
    int rc = stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR;
    if (stmt_ == nullptr && hive_.db_ != nullptr && sqlite3_errcode(hive_.db_) != SQLITE_OK)
      rc = sqlite3_errcode(hive_.db_);
    if ((rc & 0xFF) == SQLITE_BUSY) hive_.stalled_ = true;
    return rc;
  }
  LONG Run() { return ErrorFromSqlite(Step()); }

  // Reads a row of (name, type, data); `none` when there is no row.
  LONG StepValue(Value* value, LONG none) {
    const int rc = Step();
    if (rc == SQLITE_DONE) return none;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    value->name = NameAt(0);
    value->type = static_cast<DWORD>(IntAt(1));
    value->data = BlobAt(2);
    return ERROR_SUCCESS;
  }

  // Reads a row of (name, class, the key's own time, its latest value
  // write's time or NULL); ERROR_NO_MORE_ITEMS when there is no row.
  LONG StepSubKey(std::u16string* name, std::u16string* keyClass, std::uint64_t* lastWrite) {
    const int rc = Step();
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    *name = NameAt(0);
    *keyClass = NameAt(1);
    if (lastWrite != nullptr) *lastWrite = static_cast<std::uint64_t>(std::max(IntAt(2), IntAt(3)));
    return ERROR_SUCCESS;
  }

  std::int64_t IntAt(int column) { return sqlite3_column_int64(stmt_, column); }
  std::u16string NameAt(int column) {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text == nullptr ? std::u16string() : TextToName(text, sqlite3_column_bytes(stmt_, column));
  }
  std::vector<BYTE> BlobAt(int column) {
    const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, column));
    return std::vector<BYTE>(data, data + sqlite3_column_bytes(stmt_, column));
  }

 private:
  Hive& hive_;
  sqlite3_stmt* stmt_;
  int bound_ = 0;
};

Hive::Hive(std::string file, std::initializer_list<std::u16string_view> seed)
    : file_(std::move(file)), seed_(seed.begin(), seed.end()) {}

Hive::~Hive() { Close(); }

void Hive::Close() {
  holding_ = reader_ = false;
  writing_ = inCall_ = false;
  found_.clear();
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
  if (db_ != nullptr) sqlite3_close(db_);
  db_ = nullptr;
}

void Hive::Abandon() {
  // The locks a reader holds are the parent's, and its close writes nothing
  // and takes no lock: closing it lets the child's own open make its index
  // state afresh instead of taking over the parent's read-only one, through
  // which it could not write.
  if (reader_) {
    Close();
    return;
  }
  holding_ = reader_ = false;
  writing_ = inCall_ = false;
  found_.clear();
  statements_.clear();
  db_ = nullptr;
}

sqlite3_stmt* Hive::Prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
    return nullptr;
  statements_.emplace(sql, stmt);
  return stmt;
}

LONG Hive::Exec(const char* sql) {
  return ErrorFromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

LONG Hive::OpenFile(int flags, const std::string& name) {
  Close();
  ConfigureSqlite();
  const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    Close();
    return ErrorFromSqlite(rc);
  }
  sqlite3_busy_timeout(db_, stalled_ ? 0 : kBusyTimeoutMs);
  return ERROR_SUCCESS;
}

// Reads the file's header and catalogue, which also proves that the
// database (with its write-ahead log) can be read at all.
// (The two tables are looked up in the catalogue as SQLite has read it,
// not by a query, which would cost more to compile than the rest of the
// look. The query runs only when they seem missing: SQLite's copy may be
// older than the file, which another process may just have made a hive.)
LONG Hive::Inspect(Content* content) {
  Query version(*this, "PRAGMA user_version");
  int rc = version.Step();
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  const auto hasTable = [this](const char* name) {
    return sqlite3_table_column_metadata(db_, "main", name, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr) == SQLITE_OK;
  };
  const std::int64_t format = version.IntAt(0);
  std::int64_t tables = 2;
  if (!hasTable("keys") || !hasTable("vals")) {
    Query catalogue(*this,
                    "SELECT count(*), count(CASE WHEN type = 'table' AND name IN ('keys', 'vals') THEN 1 END)"
                    " FROM sqlite_master");
    rc = catalogue.Step();
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    if (format == 0 && catalogue.IntAt(0) == 0) {
      *content = Content::Empty;
      return ERROR_SUCCESS;
    }
    tables = catalogue.IntAt(1);
  }
  if (tables != 2) {
    *content = Content::Foreign;
  } else if (format == kFormatVersion) {
    *content = Content::Hive;
  } else if (format == kFormatWithoutValueTimes) {
    *content = Content::Older;
  } else {
    *content = Content::Foreign;
  }
  return ERROR_SUCCESS;
}

LONG Hive::CreateSchema() {
  // WAL lets readers in other processes go on while one writes. NORMAL
  // keeps every commit once the call returns, whatever happens to the
  // process; only a power cut may take back the latest commits, and it never
  // damages the hive.
  LONG status = Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  if (status == ERROR_SUCCESS) status = Begin(true);
  if (status != ERROR_SUCCESS) return status;
  status = Exec(kSchema);
  KeyId key = kRootKey;
  for (size_t i = 0; status == ERROR_SUCCESS && i < seed_.size(); ++i)
    status = Create(key, seed_[i], u"", &key, nullptr);
  if (status != ERROR_SUCCESS) {
    Rollback();
    return status;
  }
  return Commit();
}

LONG Hive::OpenEmpty() {
  LONG status = OpenFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, ":memory:");
  if (status == ERROR_SUCCESS) status = CreateSchema();
  readOnly_ = true;
  return status;
}

LONG Hive::Open() {
  if (db_ != nullptr) return ERROR_SUCCESS;
  readOnly_ = false;
  struct stat hive {};
  const bool hadHive = stat(file_.c_str(), &hive) == 0, hadLog = PathExists(file_ + "-wal");
  if (!hadHive && !EntryWritable(FolderOf(file_))) return OpenEmpty();
  const bool writable = hadHive && WritableAs(hive);
  if (writable) {
    const LONG status = OpenReader();
    if (status == ERROR_SUCCESS || status == ERROR_LOCK_VIOLATION) return status;
  }
  // A reader shares the log's index read-only and never makes it, so whether
  // there was one is looked at only now, before a writer may make it.
  const bool hadIndex = PathExists(file_ + "-shm");
  const LONG status = !hadHive || writable ? OpenWritable() : OpenReadOnly();
  // An open that failed for want of space or on a write error leaves no
  // files of its own making behind. (A lock or a foreign file says another
  // process may be at work beside: nothing is removed then.)
  if (status == ERROR_DISK_FULL || status == ERROR_REGISTRY_IO_FAILED)
    RemoveLitter(hadHive, hadLog, hadIndex);
  return status;
}

LONG Hive::OpenWritable() {
  LONG status = OpenFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, file_);
  Content content = Content::Foreign;
  if (status == ERROR_SUCCESS) status = Inspect(&content);
  if (status == ERROR_SUCCESS && content == Content::Foreign) status = ERROR_BADDB;
  // Another process making the same new hive holds the lock that turning
  // the log on needs, and SQLite does not wait for that lock: wait here, then
  // take the hive that process made (or make it, should it have given up).
  for (int waited = 0; status == ERROR_SUCCESS && content == Content::Empty; waited += 10) {
    status = CreateSchema();
    if (status != ERROR_LOCK_VIOLATION || stalled_ || waited >= kBusyTimeoutMs) break;
    usleep(10000);
    status = Inspect(&content);
    if (status == ERROR_SUCCESS && content == Content::Foreign) status = ERROR_BADDB;
  }
  if (status == ERROR_SUCCESS && content == Content::Older) status = Upgrade();
  if (status == ERROR_SUCCESS) status = Exec(kConnectionSettings);
  if (status == ERROR_SUCCESS) {
    int keep = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
  }
  if (status != ERROR_SUCCESS) Close();
  return status;
}

// A hive this process may write is opened for reading first: the log's
// index is shared read-only and never made, and where no writer has made it,
// SQLite reads the (normally empty) log itself. Making the index is most of
// an open's cost (a truncate, eight block writes, a shared mapping and a
// dozen locks), and a process that only reads, as a start-up does, never
// needs it. The first write opens the hive again for writing (Begin). A
// hive that is yet to be made or brought up to date, or that the reader
// cannot open, is opened for writing at once.
LONG Hive::OpenReader() {
  LONG status = OpenFile(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, FileUri(file_) + "?readonly_shm=1");
  Content content = Content::Foreign;
  if (status == ERROR_SUCCESS) status = Inspect(&content);
  if (status == ERROR_SUCCESS && content == Content::Hive) {
    reader_ = true;
    return status;
  }
  Close();
  return status == ERROR_SUCCESS ? ERROR_BADDB : status;
}

// A reader that may not write the folder shares the hive's log index
// read-only. Where SQLite cannot use the index, the file may be read as it
// lies only when no log holds commits beyond it; otherwise the hive is
// refused rather than read in an older state.
LONG Hive::OpenReadOnly() {
  readOnly_ = true;
  LONG status = OpenFile(SQLITE_OPEN_READONLY, file_);
  Content content = Content::Foreign;
  if (status == ERROR_SUCCESS) status = Inspect(&content);
  if (status != ERROR_SUCCESS && status != ERROR_LOCK_VIOLATION) {
    if (RegularFileSize(file_ + "-wal") > 0) {
      status = ERROR_CANTREAD;
    } else {
      status = OpenFile(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, FileUri(file_) + "?immutable=1");
      if (status == ERROR_SUCCESS) status = Inspect(&content);
    }
  }
  if (status == ERROR_SUCCESS && content == Content::Foreign) status = ERROR_BADDB;
  if (status == ERROR_SUCCESS && content == Content::Older) status = Exec(kValueTimesView);
  if (status != ERROR_SUCCESS) {
    Close();
    return status;
  }
  // A read-only file that never became a hive reads as an empty one.
  return content == Content::Empty ? OpenEmpty() : ERROR_SUCCESS;
}

// Another process may be upgrading the same hive: the version is read again
// once this one holds the write lock.
LONG Hive::Upgrade() {
  LONG status = Begin(true);
  Content content = Content::Foreign;
  if (status == ERROR_SUCCESS) status = Inspect(&content);
  if (status == ERROR_SUCCESS && content == Content::Older) status = Exec(kUpgrade);
  if (status != ERROR_SUCCESS) {
    Rollback();
    return status;
  }
  return Commit();
}

void Hive::RemoveLitter(bool hadHive, bool hadLog, bool hadIndex) {
  Close();
  const bool hiveGone = !hadHive && RegularFileSize(file_) == 0;
  if (hiveGone) unlink(file_.c_str());
  // SQLite sizes a new index file to three bytes before it fills it; a log
  // of our making holds nothing until a commit reached it.
  if (!hadLog && RegularFileSize(file_ + "-wal") == 0) unlink((file_ + "-wal").c_str());
  const off_t index = RegularFileSize(file_ + "-shm");
  if (!hadIndex && index >= 0 && (index <= 3 || hiveGone)) unlink((file_ + "-shm").c_str());
}

bool Hive::Writable() const {
  struct stat file {};
  if (stat(file_.c_str(), &file) != 0) return !readOnly_ && EntryWritable(FolderOf(file_));
  return WritableAs(file);
}

bool Hive::WritableAs(const struct stat& file) const {
  return !readOnly_ && EntryWritable(file_, file) && EntryWritable(FolderOf(file_));
}

// Every call begins and ends a transaction: these run as cached statements
// rather than being parsed anew each time.
LONG Hive::Begin(bool write) {
  sqlite3_busy_timeout(db_, stalled_ ? 0 : kBusyTimeoutMs);
  if (writing_) {
    // Within the held write a read runs as it is; a write gets a savepoint,
    // so that its failure undoes its own changes only.
    if (!write) return ERROR_SUCCESS;
    const LONG status = writeStatus_ == ERROR_SUCCESS ? Query(*this, "SAVEPOINT call").Run() : writeStatus_;
    inCall_ = status == ERROR_SUCCESS;
    return status;
  }
  // (A statement that failed may have ended the held transaction already.)
  if (holding_ && !write && !sqlite3_get_autocommit(db_)) return ERROR_SUCCESS;
  if (write && reader_) {
    // (Opening closes the reading connection first.)
    if (const LONG status = OpenWritable(); status != ERROR_SUCCESS) return status;
  }
  Release();
  const LONG status = Query(*this, write ? "BEGIN IMMEDIATE" : "BEGIN").Run();
  holding_ = status == ERROR_SUCCESS && !write && holdReads_;
  if (status == ERROR_SUCCESS && write && holdWrites_) {
    writing_ = true;
    return Begin(true);
  }
  return status;
}

// While reads are held, the lone statement runs in the held transaction.
void Hive::BeginAlone() {
  if (holdReads_) Begin(false);
  else sqlite3_busy_timeout(db_, stalled_ ? 0 : kBusyTimeoutMs);
}

// As Commit: a call that got through ends the stall.
LONG Hive::EndAlone(LONG status) {
  if (status == ERROR_SUCCESS) stalled_ = false;
  return status;
}

LONG Hive::Commit() {
  if (holding_ || (writing_ && !inCall_)) {
    stalled_ = false;
    return ERROR_SUCCESS;
  }
  const LONG status = Query(*this, writing_ ? "RELEASE call" : "COMMIT").Run();
  if (status != ERROR_SUCCESS) Rollback();
  else stalled_ = false;
  inCall_ = false;
  return status;
}

// A held read has nothing to undo: it stays open for the next read.
void Hive::Rollback() {
  if (writing_) {
    if (inCall_ && !sqlite3_get_autocommit(db_)) {
      Query(*this, "ROLLBACK TO call").Run();
      Query(*this, "RELEASE call").Run();
    }
    inCall_ = false;
    // SQLite ends the whole transaction on some errors (a full disk, say):
    // the batch's earlier writes are gone, and so must its later ones be.
    if (sqlite3_get_autocommit(db_) && writeStatus_ == ERROR_SUCCESS) writeStatus_ = ERROR_REGISTRY_IO_FAILED;
    return;
  }
  if (!holding_ && !sqlite3_get_autocommit(db_)) Query(*this, "ROLLBACK").Run();
}

void Hive::HoldReads(bool hold) {
  holdReads_ = hold;
  if (!hold) Release();
}

void Hive::Release() {
  if (!holding_) return;
  holding_ = false;
  found_.clear();
  Rollback();
}

LONG Hive::EndHeldWrite(bool keep) {
  holdWrites_ = false;
  LONG status = std::exchange(writeStatus_, ERROR_SUCCESS);
  if (!std::exchange(writing_, false)) return status;
  inCall_ = false;
  if (sqlite3_get_autocommit(db_)) return status == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : status;
  if (keep && status == ERROR_SUCCESS) {
    status = Query(*this, "COMMIT").Run();
    if (status == ERROR_SUCCESS) {
      stalled_ = false;
      return status;
    }
  }
  if (!sqlite3_get_autocommit(db_)) Query(*this, "ROLLBACK").Run();
  return status;
}

bool Hive::Exists(KeyId key) {
  Query query(*this, "SELECT 1 FROM keys WHERE id = ?1");
  return query.Int(key).Step() == SQLITE_ROW;
}

LONG Hive::Find(KeyId parent, std::u16string_view name, KeyId* child) {
  // A start looks up the same few levels of its settings' paths many times.
  std::string lookup;
  if (holding_) {
    lookup.resize(sizeof parent + 2 * name.size());
    std::memcpy(lookup.data(), &parent, sizeof parent);
    FoldKey(name, lookup.data() + sizeof parent);
    if (const auto known = found_.find(lookup); known != found_.end()) {
      if (known->second == 0) return ERROR_FILE_NOT_FOUND;
      *child = known->second;
      return ERROR_SUCCESS;
    }
  }
  Query query(*this, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  const int rc = query.Int(parent).Fold(name).Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  const KeyId id = rc == SQLITE_ROW ? query.IntAt(0) : 0;
  // (Only what the held read itself saw: a failed statement may have ended it.)
  if (holding_ && !sqlite3_get_autocommit(db_)) found_.emplace(std::move(lookup), id);
  if (id == 0) return ERROR_FILE_NOT_FOUND;
  *child = id;
  return ERROR_SUCCESS;
}

LONG Hive::Create(KeyId parent, std::u16string_view name, std::u16string_view keyClass, KeyId* child,
                  bool* created) {
  LONG status = Find(parent, name, child);
  if (created != nullptr) *created = false;
  if (status != ERROR_FILE_NOT_FOUND) return status;
  Query query(*this,
              "INSERT INTO keys(parent, name, fold, class, written) VALUES(?1, ?2, ?3, ?4, ?5)");
  status = query.Int(parent).Name(name).Fold(name).Name(keyClass).Int(FileTimeNow()).Run();
  if (status != ERROR_SUCCESS) return status;
  *child = sqlite3_last_insert_rowid(db_);
  if (created != nullptr) *created = true;
  return Touch(parent);
}

bool Hive::HasSubKeys(KeyId key) {
  Query query(*this, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  return query.Int(key).Step() == SQLITE_ROW;
}

LONG Hive::Clear(KeyId key) {
  LONG status = Query(*this, BELOW "DELETE FROM vals WHERE key = ?1 OR key IN below").Int(key).Run();
  if (status == ERROR_SUCCESS)
    status = Query(*this, BELOW "DELETE FROM keys WHERE id IN below").Int(key).Run();
  if (status == ERROR_SUCCESS) status = Touch(key);
  return status;
}

LONG Hive::DeleteTree(KeyId key) {
  KeyId parent = 0;
  {
    Query query(*this, "SELECT parent FROM keys WHERE id = ?1");
    const int rc = query.Int(key).Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc);
    parent = query.IntAt(0);
  }
  LONG status = Clear(key);
  if (status == ERROR_SUCCESS)
    status = Query(*this, "DELETE FROM keys WHERE id = ?1").Int(key).Run();
  if (status == ERROR_SUCCESS) status = Touch(parent);
  return status;
}

LONG Hive::SubKeyAt(KeyId key, DWORD index, std::u16string* name, std::u16string* keyClass,
                    std::uint64_t* lastWrite) {
  Query query(*this,
              "SELECT name, class, written, CASE WHEN ?3 THEN " LATEST_VALUE_WRITE " END FROM keys"
              " WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
  return query.Int(key).Int(index).Int(lastWrite != nullptr).StepSubKey(name, keyClass, lastWrite);
}

LONG Hive::GetValue(KeyId key, std::u16string_view name, Value* value) {
  // The caller named the value: its stored spelling is not read back (the
  // conversion to UTF-16 cost about 6% of the instructions of a read).
  Query query(*this, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
  const int rc = query.Int(key).Fold(name).Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  value->type = static_cast<DWORD>(query.IntAt(0));
  value->data = query.BlobAt(1);
  return ERROR_SUCCESS;
}

LONG Hive::ValueAt(KeyId key, DWORD index, Value* value) {
  Query query(*this,
              "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
  return query.Int(key).Int(index).StepValue(value, ERROR_NO_MORE_ITEMS);
}

LONG Hive::SubKeyAfter(KeyId key, std::u16string_view after, std::u16string* name, std::u16string* keyClass,
                       std::uint64_t* lastWrite) {
  Query query(*this,
              "SELECT name, class, written, CASE WHEN ?3 THEN " LATEST_VALUE_WRITE " END FROM keys"
              " WHERE parent = ?1 AND fold > ?2 ORDER BY fold LIMIT 1");
  return query.Int(key).Fold(after).Int(lastWrite != nullptr).StepSubKey(name, keyClass, lastWrite);
}

LONG Hive::ValueAfter(KeyId key, std::u16string_view after, Value* value) {
  Query query(*this,
              "SELECT name, type, data FROM vals WHERE key = ?1 AND fold > ?2 ORDER BY fold LIMIT 1");
  return query.Int(key).Fold(after).StepValue(value, ERROR_NO_MORE_ITEMS);
}

LONG Hive::SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
  // One statement, which changes one row of one table: the value carries the
  // time of its write, which is its key's last-write time when it is the
  // latest. A value that already stands as given is left alone (the commit
  // then writes no page, which keeps a start-up that rewrites its flags
  // cheap). Rewriting a value keeps the spelling of its name from when it
  // was made.
  Query query(*this,
              "INSERT INTO vals(key, name, fold, type, data, written) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
              " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data,"
              " written = excluded.written WHERE vals.type != excluded.type OR vals.data != excluded.data");
  return query.Int(key).Name(name).Fold(name).Int(type).Blob(data, size).Int(FileTimeNow()).Run();
}

LONG Hive::DeleteValue(KeyId key, std::u16string_view name) {
  const LONG status =
      Query(*this, "DELETE FROM vals WHERE key = ?1 AND fold = ?2").Int(key).Fold(name).Run();
  if (status != ERROR_SUCCESS) return status;
  if (sqlite3_changes(db_) == 0) return ERROR_FILE_NOT_FOUND;
  return Touch(key);
}

LONG Hive::Stats(KeyId key, KeyStats* stats) {
  *stats = KeyStats();
  {
    Query query(*this, "SELECT class, written FROM keys WHERE id = ?1");
    const int rc = query.Int(key).Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc);
    stats->keyClass = query.NameAt(0);
    stats->lastWrite = static_cast<std::uint64_t>(query.IntAt(1));
  }
  {
    // Folded names have as many units as the names themselves.
    Query query(*this, "SELECT class, length(fold) / 2 FROM keys WHERE parent = ?1");
    query.Int(key);
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) {
      ++stats->subKeys;
      stats->maxClassLen = std::max(stats->maxClassLen, static_cast<DWORD>(query.NameAt(0).size()));
      stats->maxSubKeyLen = std::max(stats->maxSubKeyLen, static_cast<DWORD>(query.IntAt(1)));
    }
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  }
  Query query(*this,
              "SELECT count(*), coalesce(max(length(fold)), 0) / 2, coalesce(max(length(data)), 0),"
              " coalesce(max(written), 0) FROM vals WHERE key = ?1");
  const int rc = query.Int(key).Step();
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  stats->values = static_cast<DWORD>(query.IntAt(0));
  stats->maxValueNameLen = static_cast<DWORD>(query.IntAt(1));
  stats->maxValueLen = static_cast<DWORD>(query.IntAt(2));
  stats->lastWrite = std::max(stats->lastWrite, static_cast<std::uint64_t>(query.IntAt(3)));
  return ERROR_SUCCESS;
}

LONG Hive::Touch(KeyId key) {
  return Query(*this, "UPDATE keys SET written = ?2 WHERE id = ?1").Int(key).Int(FileTimeNow()).Run();
}

#undef BELOW
#undef LATEST_VALUE_WRITE

}  // namespace compat::win32::registry
