// The registry functions over the SQLite hives: predefined roots, key
// handles, subkey paths and access rights. Storage lives in RegistryHive.
#include "compat/win32/Registry.h"

#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/RegistryHive.h"
#include "compat/win32/ShellFolders.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Time.h"

namespace {

using compat::win32::registry::Hive;
using compat::win32::registry::KeyId;
using compat::win32::registry::KeyStats;
using compat::win32::registry::kRootKey;
using compat::win32::registry::Value;

constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | kDelete | kWriteDac | kWriteOwner;
constexpr LONG kErrorNoAccess = 998;  // the data pointer cannot be read

// HKEY_USERS is not a hive of its own: it holds one key, ".DEFAULT", which
// is the current user's hive (one user per machine, as far as this registry
// knows).
enum class Root { User, Machine, Users };
constexpr std::u16string_view kDefaultUser = u".DEFAULT";

// Where an enumeration through a handle stands: the name it answered for
// `index`. A call for the next index walks on from that name instead of
// counting from the start. Should the key change between calls, it answers
// the name that follows the last one answered, neither repeating nor
// skipping one.
struct EnumCursor {
  bool valid = false;
  DWORD index = 0;
  std::u16string name;

  bool Follows(DWORD next) const { return valid && next == index + 1; }
  void Note(LONG status, DWORD at, const std::u16string& answered) {
    valid = status == ERROR_SUCCESS;
    index = at;
    name = answered;
  }
};

struct KeyHandle {
  Root root;
  KeyId id;
  REGSAM access;
  std::uint64_t generation;  // handles of an earlier hive folder answer ERROR_KEY_DELETED
  EnumCursor subKeys;
  EnumCursor values;
};

struct Registry {
  std::mutex lock;
  std::string folder;
  std::string asked;  // the hive folder a call found, kept to reuse its buffer
  pid_t owner = 0;
  std::uint64_t generation = 1;
  std::unique_ptr<Hive> user;
  std::unique_ptr<Hive> machine;
  std::unordered_set<KeyHandle*> handles;
  int readBatches = 0;   // RegistryReadBatch objects alive in this process
  int writeBatches = 0;  // RegistryWriteBatch objects alive in this process

  // Closing folds a writing connection's log into its hive, and rolls back
  // what a write batch still held.
  void CloseConnections() {
    user.reset();
    machine.reset();
  }
  void CloseHives() {
    CloseConnections();
    ++generation;
  }
  // After fork() the connections belong to the parent.
  void AbandonConnections() {
    for (Hive* hive : {user.get(), machine.get()})
      if (hive != nullptr) hive->Abandon();
    CloseConnections();
  }
};

Registry& TheRegistry();

// This process's id, learnt once and forgotten in a child of fork() (by the
// fork handler TheRegistry sets up): every call checks whether it runs in the
// process that opened the connections, which asked the kernel each time.
std::atomic<pid_t> g_processId{0};

pid_t ProcessId() {
  pid_t id = g_processId.load(std::memory_order_relaxed);
  if (id == 0) {
    id = getpid();
    g_processId.store(id, std::memory_order_relaxed);
  }
  return id;
}

// At exit the hives are closed, unless another thread is inside a call.
// Handles stay valid: a call made later in the exit opens the hives again.
void CloseAtExit() {
  Registry& registry = TheRegistry();
  std::unique_lock<std::mutex> guard(registry.lock, std::try_to_lock);
  if (!guard.owns_lock()) return;
  if (registry.owner == ProcessId()) registry.CloseConnections();
  else registry.AbandonConnections();
}

// Never destroyed: keys may still be closed while the process exits.
Registry& TheRegistry() {
  static Registry* const registry = [] {
    std::atexit(CloseAtExit);
    pthread_atfork(nullptr, nullptr, [] { g_processId.store(0, std::memory_order_relaxed); });
    static compat::win32::NoDestructor<Registry> held;
    return held.get();
  }();
  return *registry;
}

// HiveFolder() into `folder`, whose buffer it reuses.
void AssignHiveFolder(std::string* folder) {
  if (const char* prefix = std::getenv("ORBWEAVE_PREFIX"); prefix != nullptr && *prefix != 0) {
    folder->assign(prefix);
    return;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    folder->assign(config);
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == 0) {
      const passwd* entry = getpwuid(getuid());
      home = entry != nullptr ? entry->pw_dir : "/tmp";
    }
    folder->assign(home).append("/.config");
  }
  folder->append("/orbweave/registry");
}

// Makes the hive folder and whatever is missing above it; a folder that is
// there already costs one call.
void MakeFolders(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) == 0 || errno != ENOENT) return;
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    mkdir(folder.substr(0, slash).c_str(), 0700);
    if (slash == std::string::npos) break;
  }
}

REGSAM MapGenericRights(REGSAM access) {
  if (access & kGenericRead) access |= KEY_READ;
  if (access & kGenericWrite) access |= KEY_WRITE;
  if (access & kGenericExecute) access |= KEY_EXECUTE;
  if (access & kGenericAll) access |= KEY_ALL_ACCESS;
  return access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
}

std::u16string_view NameOf(LPCWSTR name) {
  return name == nullptr ? std::u16string_view() : std::u16string_view(name);
}

// A subkey path: levels between backslashes. One trailing backslash is
// allowed; a leading one or an empty level makes the path invalid.
LONG SplitPath(LPCWSTR subKey, std::vector<std::u16string_view>* levels) {
  std::u16string_view path = NameOf(subKey);
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
  if (path.back() == u'\\') path.remove_suffix(1);
  for (;;) {
    const size_t slash = path.find(u'\\');
    const std::u16string_view level = path.substr(0, slash);
    if (level.empty()) return ERROR_BAD_PATHNAME;
    levels->push_back(level);
    if (slash == std::u16string_view::npos) return ERROR_SUCCESS;
    path.remove_prefix(slash + 1);
  }
}

void CopyName(std::u16string_view name, LPWSTR buffer) {
  std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
  buffer[name.size()] = 0;
}

void StoreFileTime(std::uint64_t ticks, void* fileTime) {
  const FILETIME time = compat::win32::ToFileTime(ticks);
  std::memcpy(fileTime, &time, sizeof time);
}

// A value's type and bytes into the caller's buffers; a null data pointer
// asks for the size only.
LONG CopyValue(const Value& value, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  const auto size = static_cast<DWORD>(value.data.size());
  if (type != nullptr) *type = value.type;
  if (data != nullptr && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && size != 0) std::memcpy(data, value.data.data(), size);
  if (dataSize != nullptr) *dataSize = size;
  return ERROR_SUCCESS;
}

// What an operation does to the hive: only reads; writes (the hive must be
// writable); or creates keys, which writes only when a key is missing.
enum class Intent { Read, Write, Create };

// The key an operation works on, inside the transaction the session holds.
struct Target {
  Root root = Root::User;
  Hive* hive = nullptr;  // null for HKEY_USERS itself, which holds no values
  KeyId id = kRootKey;
  REGSAM access = KEY_ALL_ACCESS;
  bool predefined = false;
  bool writable = false;
  size_t consumed = 0;  // leading path levels that chose the hive (".DEFAULT")
  KeyHandle* handle = nullptr;  // null for the predefined roots
  bool confirmed = true;  // false while the handle's key may have been deleted
};

// How Session::Open prepares a read.
//   Any: one transaction for all the call's statements, the handle's key
//     made sure of first.
//   Value: the same, but the key is left to the value read (CheckedRead),
//     which finds a value only in a key that is there (values go with their
//     key in the transaction that deletes it) and asks only when it found
//     none: a read that finds its value costs one lookup.
//   LoneValue: as Value, for a read of one value without subkeys: its
//     lookup runs as a transaction of its own, as SQLite runs a statement
//     outside one, which sees every commit made before it began. BEGIN and
//     COMMIT around it cost a fifth of such a read. Should the value be
//     missing, the key's lookup that follows sees at least as late a state:
//     a key there then was there at the read (key ids are never reused); one
//     gone then is gone with all its values.
enum class ReadKind { Any, Value, LoneValue };

// One registry call: holds the registry lock and at most one transaction,
// which it rolls back unless the call finishes successfully.
class Session {
 public:
  Session() : guard_(registry_.lock) { Refresh(); }
  ~Session() {
    // (A lone read's statement has ended its own transaction.)
    if (active_ != nullptr) active_->Rollback();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Finds the key behind `key` (and, for HKEY_USERS, the first level of
  // `path`), checks that the handle has the rights in `need`, and opens the
  // transaction.
  LONG Open(HKEY key, REGSAM need, Intent intent, Target* target,
            const std::vector<std::u16string_view>* path = nullptr, ReadKind kind = ReadKind::Any) {
    LONG status = Identify(key, target);
    if (status != ERROR_SUCCESS) return status;
    if ((target->access & need) != need) return ERROR_ACCESS_DENIED;
    if (target->root == Root::Users && path != nullptr && !path->empty()) {
      if (!compat::win32::SameObjectName((*path)[0], kDefaultUser))
        return intent == Intent::Read ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
      target->root = Root::User;
      target->id = kRootKey;
      target->consumed = 1;
    }
    if (target->root == Root::Users) return intent == Intent::Read ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;

    status = OpenHive(target->root, &target->hive);
    if (status != ERROR_SUCCESS) return status;
    // Whether the hive takes writes costs a few file checks: only calls that
    // may write ask (a read-only open asks in RegOpenKeyExW when it must). A
    // handle holding write rights found the hive writable when it was opened,
    // and keeps those rights as a handle does on the desktop: its writes ask
    // only whether the connection itself is read-only.
    const bool granted = target->handle != nullptr && (target->access & kWriteRights) != 0;
    target->writable = intent != Intent::Read &&
                       (granted ? !target->hive->ReadOnlyConnection() : target->hive->Writable());
    if (intent == Intent::Write && !target->writable) return ERROR_ACCESS_DENIED;
    const bool write = intent != Intent::Read && target->writable;
    // The classes root takes two lookups before the value's.
    if (kind == ReadKind::LoneValue && key != HKEY_CLASSES_ROOT) {
      target->hive->BeginAlone();
      alone_ = target->hive;
    } else {
      status = target->hive->Begin(write);
      if (status != ERROR_SUCCESS) return status;
      active_ = target->hive;
    }

    if (key == HKEY_CLASSES_ROOT) {
      // The classes root is Software\Classes of the machine hive.
      for (std::u16string_view level : {u"Software", u"Classes"}) {
        status = write ? target->hive->Create(target->id, level, u"", &target->id, nullptr)
                       : target->hive->Find(target->id, level, &target->id);
        if (status != ERROR_SUCCESS) return status;
      }
    } else if (!target->predefined) {
      target->confirmed = kind == ReadKind::Any;
      if (target->confirmed && !target->hive->Exists(target->id)) return ERROR_KEY_DELETED;
    }
    return ERROR_SUCCESS;
  }

  // A value read opened as ReadKind::Value or LoneValue: `status` as it found
  // the value, or ERROR_KEY_DELETED when it found none because the handle's
  // key is gone.
  static LONG CheckedRead(const Target& at, LONG status) {
    if (status == ERROR_FILE_NOT_FOUND && !at.confirmed && !at.hive->Exists(at.id)) return ERROR_KEY_DELETED;
    return status;
  }

  // Ends the transaction: commits when `status` is success, else rolls back.
  LONG Finish(LONG status) {
    if (alone_ != nullptr) return std::exchange(alone_, nullptr)->EndAlone(status);
    Hive* hive = active_;
    active_ = nullptr;
    if (hive == nullptr) return status;
    if (status != ERROR_SUCCESS) {
      hive->Rollback();
      return status;
    }
    return hive->Commit();
  }

  HKEY NewHandle(Root root, KeyId id, REGSAM access) {
    auto* handle = new KeyHandle{root, id, access, registry_.generation, {}, {}};
    registry_.handles.insert(handle);
    return reinterpret_cast<HKEY>(handle);
  }

  LONG CloseHandle(HKEY key) {
    auto* handle = reinterpret_cast<KeyHandle*>(key);
    if (registry_.handles.erase(handle) == 0) return ERROR_INVALID_HANDLE;
    delete handle;
    return ERROR_SUCCESS;
  }

  void Reset() { registry_.CloseHives(); }

  // Begins (or ends) a read batch; the hives open now, and those opened
  // while it lasts, hold their reads until the last batch ends.
  void AddReadBatch(int change) {
    registry_.readBatches += change;
    const bool hold = registry_.readBatches > 0;
    for (Hive* hive : {registry_.user.get(), registry_.machine.get()})
      if (hive != nullptr) hive->HoldReads(hold);
  }

  // Begins (or ends) a write batch; when the last one ends, each hive
  // commits its held write (or rolls it back, unless `keep`).
  LONG AddWriteBatch(int change, bool keep) {
    registry_.writeBatches += change;
    LONG status = ERROR_SUCCESS;
    for (Hive* hive : {registry_.user.get(), registry_.machine.get()}) {
      if (hive == nullptr) continue;
      if (registry_.writeBatches > 0) {
        hive->HoldWrites();
      } else if (const LONG ended = hive->EndHeldWrite(keep); status == ERROR_SUCCESS) {
        status = ended;
      }
    }
    return status;
  }

  void ReleaseHeldReads() {
    for (Hive* hive : {registry_.user.get(), registry_.machine.get()})
      if (hive != nullptr) hive->Release();
  }

 private:
  // Follows the hive folder and the process: another folder is another
  // registry; a child process after fork() needs connections of its own.
  void Refresh() {
    const pid_t self = ProcessId();
    if (self != registry_.owner) {
      registry_.AbandonConnections();
      registry_.owner = self;
    }
    // Asked at every call, written into a kept buffer: no allocation.
    AssignHiveFolder(&registry_.asked);
    if (registry_.asked != registry_.folder) {
      registry_.CloseHives();
      registry_.folder = registry_.asked;
    }
  }

  LONG Identify(HKEY key, Target* target) {
    target->predefined = true;
    if (key == HKEY_CURRENT_USER) {
      target->root = Root::User;
    } else if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
      target->root = Root::Machine;
    } else if (key == HKEY_USERS) {
      target->root = Root::Users;
    } else {
      auto* handle = reinterpret_cast<KeyHandle*>(key);
      if (registry_.handles.count(handle) == 0) return ERROR_INVALID_HANDLE;
      if (handle->generation != registry_.generation) return ERROR_KEY_DELETED;
      target->root = handle->root;
      target->id = handle->id;
      target->access = handle->access;
      target->predefined = false;
      target->handle = handle;
    }
    return ERROR_SUCCESS;
  }

  LONG OpenHive(Root root, Hive** hive) {
    std::unique_ptr<Hive>& slot = root == Root::User ? registry_.user : registry_.machine;
    const bool first = !slot;
    if (first) {
      MakeFolders(registry_.folder);
      if (root == Root::User)
        slot = std::make_unique<Hive>(registry_.folder + "/user.db",
                                      std::initializer_list<std::u16string_view>{u"Software"});
      else
        slot = std::make_unique<Hive>(registry_.folder + "/machine.db",
                                      std::initializer_list<std::u16string_view>{u"Software", u"Classes"});
    }
    *hive = slot.get();
    if (first) slot->HoldReads(registry_.readBatches > 0);
    const LONG status = slot->Open();
    // The hive is made, or brought up to date, in transactions of its own.
    if (first && registry_.writeBatches > 0) slot->HoldWrites();
    // The user's special folders are there from the first use of the hive on.
    if (first && root == Root::User && status == ERROR_SUCCESS) compat::win32::FillShellFolders(*slot);
    return status;
  }

  Registry& registry_ = TheRegistry();
  std::unique_lock<std::mutex> guard_;
  Hive* active_ = nullptr;
  Hive* alone_ = nullptr;  // the hive of a lone read (ReadKind::LoneValue)
};

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS;
}

// Follows `levels` (after those that chose the hive) down from the target.
LONG Walk(const Target& at, const std::vector<std::u16string_view>& levels, KeyId* key) {
  *key = at.id;
  for (size_t i = at.consumed; i < levels.size(); ++i) {
    const LONG status = at.hive->Find(*key, levels[i], key);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}


// The RRF_RT_* bit that admits a value type; other types pass only RRF_RT_ANY.
DWORD TypeFlag(DWORD type) {
  switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;
  }
}

// Whether `value` may be handed out under `flags`: its type must be admitted,
// numbers must have their width, and binary data read as a number that
// number's width.
LONG CheckType(const Value& value, DWORD flags) {
  const DWORD types = flags & RRF_RT_ANY;
  if (types != RRF_RT_ANY && (types & TypeFlag(value.type)) == 0) return ERROR_UNSUPPORTED_TYPE;
  size_t width = 0;
  if (value.type == REG_DWORD || (value.type == REG_BINARY && types == RRF_RT_DWORD)) width = 4;
  if (value.type == REG_QWORD || (value.type == REG_BINARY && types == RRF_RT_QWORD)) width = 8;
  if (width != 0 && value.data.size() != width) return ERROR_DATATYPE_MISMATCH;
  return ERROR_SUCCESS;
}

std::u16string UnitsOf(const std::vector<BYTE>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return text;
}

std::vector<BYTE> BytesOf(std::u16string_view text) {
  std::vector<BYTE> data(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    data[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
  }
  return data;
}

// %NAME% replaced by the environment variable's value; a name that is not
// set, and a lone %, stay as they are.
std::u16string Expand(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const size_t close = text[i] == u'%' ? text.find(u'%', i + 1) : std::u16string_view::npos;
    if (close != std::u16string_view::npos && close > i + 1) {
      const std::string name = compat::win32::Utf16ToUtf8(text.substr(i + 1, close - i - 1));
      if (const char* setting = std::getenv(name.c_str())) {
        out += compat::win32::FileNameToUtf16(setting);  // mostly folders
        i = close + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

// Text data as RegGetValueW hands it out: whole units (a stray odd byte is
// no part of any character) ending in `terminators` zero units, added when
// the stored text lacks them. REG_EXPAND_SZ comes out expanded as REG_SZ
// unless the caller asked for it unexpanded.
void ShapeText(Value& value, DWORD flags) {
  size_t terminators = 0;
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) terminators = 1;
  if (value.type == REG_MULTI_SZ) terminators = 2;
  if (terminators == 0) return;
  std::u16string text = UnitsOf(value.data);
  if (value.type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0) {
    text = Expand(std::u16string_view(text.c_str()));
    value.type = REG_SZ;
  }
  size_t present = 0;
  while (present < terminators && present < text.size() && text[text.size() - 1 - present] == 0)
    ++present;
  text.append(terminators - present, u'\0');
  value.data = BytesOf(text);
}
}  // namespace

namespace compat::win32 {

std::string HiveFolder() {
  std::string folder;
  AssignHiveFolder(&folder);
  return folder;
}

LONG ReadRegText(HKEY key, LPCWSTR subKey, LPCWSTR name, std::u16string* value) {
  // Most settings fit the first buffer; a value that grew between the calls
  // is read again at its new size.
  std::vector<BYTE> data(256);
  for (;;) {
    auto size = static_cast<DWORD>(data.size());
    const LONG status = RegGetValueW(key, subKey, name, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(size);
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    data.resize(size);
    const std::u16string text = UnitsOf(data);
    value->assign(text.c_str());
    return ERROR_SUCCESS;
  }
}

LONG ReadRegDword(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD* value) {
  BYTE data[4];
  DWORD size = sizeof data;
  const LONG status = RegGetValueW(key, subKey, name, RRF_RT_REG_DWORD, nullptr, data, &size);
  if (status == ERROR_SUCCESS)
    *value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
  return status;
}

RegistryReadBatch::RegistryReadBatch() { Session().AddReadBatch(1); }

RegistryReadBatch::~RegistryReadBatch() { Session().AddReadBatch(-1); }

void ReleaseHeldRegistryReads() { Session().ReleaseHeldReads(); }

RegistryWriteBatch::RegistryWriteBatch() : exceptions_(std::uncaught_exceptions()) { Session().AddWriteBatch(1, true); }

RegistryWriteBatch::~RegistryWriteBatch() {
  if (open_) Session().AddWriteBatch(-1, std::uncaught_exceptions() == exceptions_);
}

LONG RegistryWriteBatch::Commit() {
  if (!std::exchange(open_, false)) return ERROR_SUCCESS;
  return Session().AddWriteBatch(-1, true);
}

void ResetRegistryForTests() {
  Session session;
  session.Reset();
}

}  // namespace compat::win32

LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                            DWORD /*options*/, REGSAM access, LPSECURITY_ATTRIBUTES /*security*/,
                            PHKEY result, LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (reserved != 0) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string_view> levels;
  LONG status = SplitPath(subKey, &levels);
  if (status != ERROR_SUCCESS) return status;
  access = MapGenericRights(access);

  Session session;
  Target at;
  status = session.Open(key, 0, Intent::Create, &at, &levels);
  if (status != ERROR_SUCCESS) return status;
  if (access & kMaximumAllowed) access = at.writable ? KEY_ALL_ACCESS : KEY_READ;
  if ((access & kWriteRights) && !at.writable) return ERROR_ACCESS_DENIED;

  KeyId id = at.id;
  bool created = false;
  for (size_t i = at.consumed; i < levels.size() && status == ERROR_SUCCESS; ++i) {
    status = at.hive->Find(id, levels[i], &id);
    if (status != ERROR_FILE_NOT_FOUND) continue;
    // Making a key needs a writable hive and the parent's right to have subkeys.
    if (!at.writable || (i == at.consumed && (at.access & KEY_CREATE_SUB_KEY) == 0))
      return ERROR_ACCESS_DENIED;
    const std::u16string_view levelClass = i + 1 == levels.size() ? NameOf(keyClass) : u"";
    status = at.hive->Create(id, levels[i], levelClass, &id, &created);
  }
  status = session.Finish(status);
  if (status != ERROR_SUCCESS) return status;
  *result = session.NewHandle(at.root, id, access);
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if ((options & ~DWORD{REG_OPTION_OPEN_LINK}) != 0) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string_view> levels;
  LONG status = SplitPath(subKey, &levels);
  if (status != ERROR_SUCCESS) return status;
  // Opening a root itself answers the root's own handle, as on the desktop.
  if (levels.empty() && IsPredefined(key)) {
    *result = key;
    return ERROR_SUCCESS;
  }
  access = MapGenericRights(access);

  Session session;
  Target at;
  status = session.Open(key, 0, Intent::Read, &at, &levels);
  if (status != ERROR_SUCCESS) return status;
  if (at.hive == nullptr) {
    // HKEY_USERS itself, reached through one of its handles: read-only.
    if (access & kMaximumAllowed) access = KEY_READ;
    if (access & kWriteRights) return ERROR_ACCESS_DENIED;
    *result = session.NewHandle(Root::Users, kRootKey, access);
    return ERROR_SUCCESS;
  }
  if (access & (kMaximumAllowed | kWriteRights)) at.writable = at.hive->Writable();
  if (access & kMaximumAllowed) access = at.writable ? KEY_ALL_ACCESS : KEY_READ;
  KeyId id;
  status = Walk(at, levels, &id);
  if (status == ERROR_SUCCESS && (access & kWriteRights) && !at.writable) status = ERROR_ACCESS_DENIED;
  status = session.Finish(status);
  if (status != ERROR_SUCCESS) return status;
  *result = session.NewHandle(at.root, id, access);
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  Session session;
  return session.CloseHandle(key);
}

LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return ERROR_INVALID_PARAMETER;
  Session session;
  Target at;
  LONG status = session.Open(key, KEY_QUERY_VALUE, Intent::Read, &at, nullptr, ReadKind::LoneValue);
  if (status != ERROR_SUCCESS) return status;
  if (at.hive == nullptr) return ERROR_FILE_NOT_FOUND;
  Value value;
  status = session.Finish(Session::CheckedRead(at, at.hive->GetValue(at.id, NameOf(valueName), &value)));
  if (status != ERROR_SUCCESS) return status;
  return CopyValue(value, type, data, dataSize);
}

LONG WINAPI RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type,
                         PVOID data, LPDWORD dataSize) {
  // Expanding turns REG_EXPAND_SZ into REG_SZ, so asking for REG_EXPAND_SZ
  // alone only makes sense unexpanded.
  if ((data != nullptr && dataSize == nullptr) || (flags & RRF_RT_ANY) == 0 ||
      ((flags & RRF_RT_ANY) != RRF_RT_ANY && (flags & RRF_RT_REG_EXPAND_SZ) &&
       (flags & RRF_NOEXPAND) == 0))
    return ERROR_INVALID_PARAMETER;
  const DWORD capacity = dataSize != nullptr ? *dataSize : 0;
  auto fail = [&](LONG status) {
    if ((flags & RRF_ZEROONFAILURE) && data != nullptr) std::memset(data, 0, capacity);
    return status;
  };

  std::vector<std::u16string_view> levels;
  LONG status = SplitPath(subKey, &levels);
  if (status != ERROR_SUCCESS) return fail(status);
  Value value;
  {
    Session session;
    Target at;
    status = session.Open(key, levels.empty() ? KEY_QUERY_VALUE : 0, Intent::Read, &at, &levels,
                          ReadKind::Value);
    if (status == ERROR_SUCCESS && at.hive == nullptr) status = ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS) return fail(status);
    KeyId id;
    // Below a deleted key every level is missing too.
    status = Walk(at, levels, &id);
    if (status == ERROR_SUCCESS) status = at.hive->GetValue(id, NameOf(valueName), &value);
    status = session.Finish(Session::CheckedRead(at, status));
  }
  if (status != ERROR_SUCCESS) return fail(status);
  ShapeText(value, flags);
  status = CheckType(value, flags);
  if (status != ERROR_SUCCESS) return fail(status);

  const auto size = static_cast<DWORD>(value.data.size());
  if (type != nullptr) *type = value.type;
  if (dataSize != nullptr) *dataSize = size;
  if (data == nullptr) return ERROR_SUCCESS;
  if (capacity < size) return fail(ERROR_MORE_DATA);
  if (size != 0) std::memcpy(data, value.data.data(), size);
  return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD dataSize) {
  if (reserved != 0) return ERROR_INVALID_PARAMETER;
  if (data == nullptr && dataSize != 0) return kErrorNoAccess;
  Session session;
  Target at;
  const LONG status = session.Open(key, KEY_SET_VALUE, Intent::Write, &at);
  if (status != ERROR_SUCCESS) return status;
  return session.Finish(at.hive->SetValue(at.id, NameOf(valueName), type, data, dataSize));
}

LONG WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  Session session;
  Target at;
  const LONG status = session.Open(key, KEY_SET_VALUE, Intent::Write, &at);
  if (status != ERROR_SUCCESS) return status;
  return session.Finish(at.hive->DeleteValue(at.id, NameOf(valueName)));
}

namespace {
// Deletes the key `subKey` names, refusing a root and, unless `withSubKeys`,
// a key that still has subkeys.
LONG DeleteKey(HKEY key, LPCWSTR subKey, bool withSubKeys) {
  std::vector<std::u16string_view> levels;
  LONG status = SplitPath(subKey, &levels);
  if (status != ERROR_SUCCESS) return status;
  Session session;
  Target at;
  status = session.Open(key, 0, Intent::Write, &at, &levels);
  if (status != ERROR_SUCCESS) return status;
  KeyId id;
  status = Walk(at, levels, &id);
  if (status == ERROR_SUCCESS && ((at.predefined && levels.size() == at.consumed) ||
                                  at.hive->IsRoot(id) || (!withSubKeys && at.hive->HasSubKeys(id))))
    status = ERROR_ACCESS_DENIED;
  if (status == ERROR_SUCCESS) status = at.hive->DeleteTree(id);
  return session.Finish(status);
}
}  // namespace

LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  return DeleteKey(key, subKey, false);
}

LONG WINAPI SHDeleteKeyW(HKEY key, LPCWSTR subKey) { return DeleteKey(key, subKey, true); }

LONG WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  std::vector<std::u16string_view> levels;
  LONG status = SplitPath(subKey, &levels);
  if (status != ERROR_SUCCESS) return status;
  Session session;
  Target at;
  const bool itself = levels.empty();
  status = session.Open(key, itself ? KEY_SET_VALUE : 0, Intent::Write, &at, &levels);
  if (status != ERROR_SUCCESS) return status;
  KeyId id;
  status = Walk(at, levels, &id);
  if (status == ERROR_SUCCESS && !itself && at.hive->IsRoot(id)) status = ERROR_ACCESS_DENIED;
  if (status == ERROR_SUCCESS) status = itself ? at.hive->Clear(id) : at.hive->DeleteTree(id);
  return session.Finish(status);
}

LONG WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                          LPWSTR keyClass, LPDWORD classSize, void* lastWriteTime) {
  if (name == nullptr || nameSize == nullptr || reserved != nullptr ||
      (keyClass != nullptr && classSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  Session session;
  Target at;
  LONG status = session.Open(key, KEY_ENUMERATE_SUB_KEYS, Intent::Read, &at);
  if (status != ERROR_SUCCESS) return status;
  std::u16string subName;
  std::u16string subClass;
  std::uint64_t written = 0;
  if (at.hive == nullptr) {
    if (index != 0) return ERROR_NO_MORE_ITEMS;
    subName = kDefaultUser;
  } else {
    EnumCursor* cursor = at.handle != nullptr ? &at.handle->subKeys : nullptr;
    std::uint64_t* time = lastWriteTime != nullptr ? &written : nullptr;  // found only when asked for
    status = cursor != nullptr && cursor->Follows(index)
                 ? at.hive->SubKeyAfter(at.id, cursor->name, &subName, &subClass, time)
                 : at.hive->SubKeyAt(at.id, index, &subName, &subClass, time);
    status = session.Finish(status);
    if (cursor != nullptr) cursor->Note(status, index, subName);
    if (status != ERROR_SUCCESS) return status;
  }
  if (subName.size() >= *nameSize || (keyClass != nullptr && subClass.size() >= *classSize))
    return ERROR_MORE_DATA;
  CopyName(subName, name);
  *nameSize = static_cast<DWORD>(subName.size());
  if (keyClass != nullptr) CopyName(subClass, keyClass);
  if (classSize != nullptr) *classSize = static_cast<DWORD>(subClass.size());
  if (lastWriteTime != nullptr) StoreFileTime(written, lastWriteTime);
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  if (valueName == nullptr || valueNameSize == nullptr || reserved != nullptr ||
      (data != nullptr && dataSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  Session session;
  Target at;
  LONG status = session.Open(key, KEY_QUERY_VALUE, Intent::Read, &at);
  if (status != ERROR_SUCCESS) return status;
  if (at.hive == nullptr) return ERROR_NO_MORE_ITEMS;
  Value value;
  EnumCursor* cursor = at.handle != nullptr ? &at.handle->values : nullptr;
  status = cursor != nullptr && cursor->Follows(index) ? at.hive->ValueAfter(at.id, cursor->name, &value)
                                                       : at.hive->ValueAt(at.id, index, &value);
  status = session.Finish(status);
  if (cursor != nullptr) cursor->Note(status, index, value.name);
  if (status != ERROR_SUCCESS) return status;
  if (value.name.size() >= *valueNameSize) {
    // The name does not fit: report the value's type and size all the same.
    if (type != nullptr) *type = value.type;
    if (dataSize != nullptr) *dataSize = static_cast<DWORD>(value.data.size());
    return ERROR_MORE_DATA;
  }
  CopyName(value.name, valueName);
  *valueNameSize = static_cast<DWORD>(value.name.size());
  return CopyValue(value, type, data, dataSize);
}

LONG WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                             LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                             LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                             LPDWORD securityDescriptor, void* lastWriteTime) {
  if (reserved != nullptr || (keyClass != nullptr && classSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  Session session;
  Target at;
  LONG status = session.Open(key, KEY_QUERY_VALUE, Intent::Read, &at);
  if (status != ERROR_SUCCESS) return status;
  KeyStats stats;
  if (at.hive == nullptr) {
    stats.subKeys = 1;
    stats.maxSubKeyLen = static_cast<DWORD>(kDefaultUser.size());
  } else {
    status = session.Finish(at.hive->Stats(at.id, &stats));
    if (status != ERROR_SUCCESS) return status;
  }
  if (subKeys != nullptr) *subKeys = stats.subKeys;
  if (maxSubKeyLen != nullptr) *maxSubKeyLen = stats.maxSubKeyLen;
  if (maxClassLen != nullptr) *maxClassLen = stats.maxClassLen;
  if (values != nullptr) *values = stats.values;
  if (maxValueNameLen != nullptr) *maxValueNameLen = stats.maxValueNameLen;
  if (maxValueLen != nullptr) *maxValueLen = stats.maxValueLen;
  if (securityDescriptor != nullptr) *securityDescriptor = 0;
  if (lastWriteTime != nullptr) StoreFileTime(stats.lastWrite, lastWriteTime);
  if (classSize != nullptr) {
    const auto length = static_cast<DWORD>(stats.keyClass.size());
    if (keyClass != nullptr && length >= *classSize) {
      *classSize = length;
      return ERROR_MORE_DATA;
    }
    if (keyClass != nullptr) CopyName(stats.keyClass, keyClass);
    *classSize = length;
  }
  return ERROR_SUCCESS;
}
