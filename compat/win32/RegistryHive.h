// One registry hive kept in a SQLite database; the storage beneath the
// registry functions, which own handles, paths and access rights.
//
//   Hive hive("/home/ann/.config/orbweave/registry/user.db", {u"Software"});
//   if (hive.Open() == ERROR_SUCCESS && hive.Begin(true) == ERROR_SUCCESS) {
//     KeyId key;
//     LONG status = hive.Create(kRootKey, u"Software", u"", &key, nullptr);
//     status == ERROR_SUCCESS ? hive.Commit() : hive.Rollback();
//   }
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/WinTypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace compat::win32::registry {

// Key ids are never reused, so a handle to a deleted key cannot land on a
// key created later under the same name.
using KeyId = std::int64_t;
inline constexpr KeyId kRootKey = 1;

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// What RegQueryInfoKeyW reports; lengths in UTF-16 units without terminator.
struct KeyStats {
  DWORD subKeys = 0;
  DWORD maxSubKeyLen = 0;
  DWORD maxClassLen = 0;
  DWORD values = 0;
  DWORD maxValueNameLen = 0;
  DWORD maxValueLen = 0;
  std::u16string keyClass;
  std::uint64_t lastWrite = 0;  // FILETIME ticks
};

class Hive {
 public:
  // `seed` names the chain of keys every hive of this root starts with
  // (the machine hive keeps the classes root below Software\Classes).
  Hive(std::string file, std::initializer_list<std::u16string_view> seed);
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // Makes the database readable, creating it when the folder allows. A hive
  // that does not exist and cannot be created reads as an empty root. A file
  // that is not a hive (damaged, or another program's database) is
  // ERROR_BADDB and stays as it is: only a new, empty file becomes a hive.
  LONG Open();
  // Drops the connection without closing it. After fork() the connection
  // belongs to the parent: closing it in the child would release the
  // parent's POSIX locks on the file. (A connection that only read is closed:
  // see the definition.)
  void Abandon();
  // Whether this process may change the hive. A file (or folder) without
  // any write permission bit counts as read-only even for the superuser,
  // as the read-only attribute does on the desktop.
  bool Writable() const;
  // Whether the connection was opened read-only: Writable() without the
  // file checks, for a caller that made them when it took its rights.
  bool ReadOnlyConnection() const { return readOnly_; }

  // Every call below runs inside one transaction: a write transaction takes
  // the database's write lock at once, so two processes never deadlock.
  // While writes are held (HoldWrites), the write calls share one
  // transaction, each in a savepoint of its own.
  LONG Begin(bool write);
  LONG Commit();
  void Rollback();
  // Instead of Begin and Commit, for a call whose one statement reads: the
  // statement runs as its own transaction. EndAlone takes the call's status
  // and gives it back.
  void BeginAlone();
  LONG EndAlone(LONG status);
  // While reads are held, a read transaction stays open when its call ends
  // and the next read call runs in it: a run of reads takes the log index's
  // read lock and checks the file once, not at every call. A write call
  // ends the held transaction before it begins its own, so the reads after
  // it see it. Another process's commits show in the first read after the
  // hold ends (or after this process's next write).
  void HoldReads(bool hold);
  // Ends the held read transaction, if one is open; reads still held begin
  // a new one.
  void Release();
  // From now on the write calls share one write transaction (begun by the
  // first of them), in which the reads run too; a call that fails undoes its
  // own changes only. EndHeldWrite commits it when `keep` (else rolls it
  // back) and gives the status: an error when anything of it was lost.
  void HoldWrites() { holdWrites_ = true; }
  LONG EndHeldWrite(bool keep);

  bool Exists(KeyId key);
  bool IsRoot(KeyId key) const { return key == kRootKey; }
  LONG Find(KeyId parent, std::u16string_view name, KeyId* child);
  // `created` (optional) tells whether the key is new.
  LONG Create(KeyId parent, std::u16string_view name, std::u16string_view keyClass, KeyId* child,
              bool* created);
  bool HasSubKeys(KeyId key);
  // Removes the key with everything below it.
  LONG DeleteTree(KeyId key);
  // Removes the key's values and subkeys but keeps the key.
  LONG Clear(KeyId key);
  // `lastWrite` may be null: the key's time then costs no look at its values.
  LONG SubKeyAt(KeyId key, DWORD index, std::u16string* name, std::u16string* keyClass,
                std::uint64_t* lastWrite);

  // Fills the value's type and data; its name is left as it was.
  LONG GetValue(KeyId key, std::u16string_view name, Value* value);
  LONG ValueAt(KeyId key, DWORD index, Value* value);
  // The subkey or value that follows the one named `after` in the hive's
  // order (after it, without case), found without counting from the start:
  // an enumeration that walks on from the name it last returned is linear.
  LONG SubKeyAfter(KeyId key, std::u16string_view after, std::u16string* name, std::u16string* keyClass,
                   std::uint64_t* lastWrite);
  LONG ValueAfter(KeyId key, std::u16string_view after, Value* value);
  LONG SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, DWORD size);
  LONG DeleteValue(KeyId key, std::u16string_view name);
  LONG Stats(KeyId key, KeyStats* stats);

 private:
  class Query;
  // Older: a hive of the format before the current one.
  enum class Content { Hive, Older, Empty, Foreign };
  sqlite3_stmt* Prepare(const char* sql);
  LONG Exec(const char* sql);
  LONG OpenFile(int flags, const std::string& name);
  LONG Inspect(Content* content);
  LONG OpenReader();
  LONG OpenWritable();
  // Writable(), given the hive file's status (followed through a link).
  bool WritableAs(const struct stat& file) const;
  LONG OpenReadOnly();
  LONG CreateSchema();
  LONG Upgrade();
  LONG OpenEmpty();
  void RemoveLitter(bool hadHive, bool hadLog, bool hadIndex);
  LONG Touch(KeyId key);
  void Close();

  std::string file_;
  std::vector<std::u16string> seed_;
  sqlite3* db_ = nullptr;
  bool readOnly_ = false;
  bool reader_ = false;  // opened for reading by a process that may write: see OpenReader
  // Set when a call waited out the busy timeout on another process's lock:
  // later calls try once without waiting until one gets through, so a
  // locked hive costs one wait, not one per call.
  bool stalled_ = false;
  bool holdReads_ = false;
  bool holding_ = false;  // the open transaction is a held read
  bool holdWrites_ = false;
  bool writing_ = false;  // the open transaction is the held write
  bool inCall_ = false;   // a write call's savepoint is open in it
  LONG writeStatus_ = ERROR_SUCCESS;  // why the held write was lost, if it was
  // Keys looked up under the held read, by parent and folded name (0 for
  // none): no key changes under it but by this process's own writes, which
  // end it first.
  std::unordered_map<std::string, KeyId> found_;
  // Statements are prepared once per connection, keyed by their text.
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

}  // namespace compat::win32::registry
