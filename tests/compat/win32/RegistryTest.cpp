// The registry functions: return codes, out-parameters (poisoned first), names, roots and hives.
#include "compat/win32/Registry.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/StringConv.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr DWORD kPoison = 0xcccccccc;
const HKEY kPoisonKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kPoison));
using Names = std::vector<std::u16string>;

std::vector<BYTE> Units(std::u16string_view text) {
  const auto* first = reinterpret_cast<const BYTE*>(text.data());
  return std::vector<BYTE>(first, first + text.size() * 2);
}
// Text with its terminator, as REG_SZ stores it.
std::vector<BYTE> Sz(std::u16string_view text) { return Units(std::u16string(text) + u'\0'); }
std::vector<BYTE> Bytes(std::initializer_list<int> values) { return std::vector<BYTE>(values.begin(), values.end()); }
std::vector<BYTE> Dword(int value) { return Bytes({value, 0, 0, 0}); }

LONG Set(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
  return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}
LONG SetDword(HKEY key, const char16_t* name, int value = 1) { return Set(key, name, REG_DWORD, Dword(value)); }

// The value's type and bytes, or the failure code in `status`.
struct Read {
  LONG status;
  DWORD type;
  std::vector<BYTE> data;
};
Read Get(HKEY key, const char16_t* name) {
  Read read{0, kPoison, std::vector<BYTE>(512, 0xcc)};
  DWORD size = static_cast<DWORD>(read.data.size());
  read.status = RegQueryValueExW(key, name, nullptr, &read.type, read.data.data(), &size);
  read.data.resize(read.status == ERROR_SUCCESS ? size : 0);
  return read;
}

// A key opened or made, with the call's code; a failed call leaves the result null.
struct Opened {
  LONG status;
  HKEY key;
};
Opened Checked(LONG status, const HKEY& key) {
  EXPECT_TRUE(status == ERROR_SUCCESS || key == nullptr) << "failed with " << status << " and left a key";
  return {status, key};
}
Opened Open(HKEY root, const char16_t* path, REGSAM access = KEY_READ) {
  HKEY key = kPoisonKey;
  return Checked(RegOpenKeyExW(root, path, 0, access, &key), key);
}
Opened Make(HKEY root, const char16_t* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
  HKEY key = kPoisonKey;
  return Checked(RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key, disposition), key);
}
HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
  const Opened made = Make(root, path, KEY_ALL_ACCESS, disposition);
  EXPECT_EQ(made.status, ERROR_SUCCESS);
  return made.key;
}

std::vector<std::u16string> SubKeys(HKEY key) {
  std::vector<std::u16string> names;
  char16_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = 256;
    const LONG status = RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
      return names;
    }
    names.emplace_back(name, size);
  }
}

// How many values `key` holds; kPoison when the call fails.
DWORD ValueCount(HKEY key) {
  DWORD values = kPoison;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  return values;
}

// Writes `count` numbers named <prefix>00, <prefix>01, ...; answers how many failed.
int WriteNumbered(HKEY key, char16_t prefix, int count) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const char16_t name[] = {prefix, char16_t(u'0' + i / 10), char16_t(u'0' + i % 10), 0};
    failures += SetDword(key, name, i) != ERROR_SUCCESS;
  }
  return failures;
}

// Runs one statement on the database `file`; the first column of its first row, or -1 when it gives none.
std::int64_t Sql(const std::string& file, const char* statement) {
  sqlite3* db = nullptr;
  sqlite3_stmt* query = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_prepare_v2(db, statement, -1, &query, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  const std::int64_t answer = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
  sqlite3_finalize(query);
  sqlite3_close(db);
  return answer;
}

using testing_support::ForkChild;
using testing_support::Reap;
constexpr int kKilled = 128 + SIGKILL;

class RegistryTest : public testing_support::IsolatedTest {
 protected:
  const std::string folder_ = registryFolder();
};

TEST_F(RegistryTest, CreateMakesEveryLevelAndReportsDisposition) {
  DWORD disposition = kPoison;
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest\\a\\b\\", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  key = Create(HKEY_CURRENT_USER, u"SOFTWARE\\OrbTest\\A\\B", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  // A relative path from an opened key reaches the same key.
  HKEY parent = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  const HKEY same = Open(parent, u"a\\B").key;
  EXPECT_EQ(SetDword(key, u"v"), ERROR_SUCCESS);
  EXPECT_EQ(Get(same, u"V").status, ERROR_SUCCESS);
  for (HKEY k : {key, same, parent}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  for (const char16_t* malformed : {u"\\Software\\x", u"Software\\\\x"}) {
    EXPECT_EQ(Open(HKEY_CURRENT_USER, malformed).status, ERROR_BAD_PATHNAME);
    EXPECT_EQ(Make(HKEY_CURRENT_USER, malformed).status, ERROR_BAD_PATHNAME);
  }
  // Opening a root itself answers the root's handle.
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"").key, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndExactBytes) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  const std::tuple<const char16_t*, DWORD, std::vector<BYTE>> cases[] = {
      {u"text", REG_SZ, Sz(u"Korvane")}, {u"unterminated", REG_SZ, Bytes({'a', 0, 'b'})},
      {u"empty", REG_SZ, {}}, {u"binary", REG_BINARY, Bytes({0, 0xff, 0, 0x80})},
      {u"odd type", 0x12345, Bytes({9})}, {nullptr, REG_SZ, Sz(u"default")},
  };
  for (const auto& [name, type, data] : cases) ASSERT_EQ(Set(key, name, type, data), ERROR_SUCCESS);
  for (const auto& [name, type, data] : cases) {
    const Read read = Get(key, name);
    EXPECT_EQ(read.status, ERROR_SUCCESS);
    EXPECT_EQ(read.type, type);
    EXPECT_EQ(read.data, data);
  }
  // The default value has the empty name; rewriting replaces type and bytes.
  EXPECT_EQ(Get(key, u"").data, Sz(u"default"));
  ASSERT_EQ(SetDword(key, u"TEXT", 7), ERROR_SUCCESS);
  const Read rewritten = Get(key, u"text");  // a value of another length
  EXPECT_EQ(rewritten.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(rewritten.data, Dword(7));
  EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 4), 998);

  EXPECT_EQ(RegDeleteValueW(key, u"Text"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"text"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

// Rewriting a value as it stands writes nothing to the hive or its log; a real change does.
TEST_F(RegistryTest, RewritingAnUnchangedValueWritesNothing) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 1);
  compat::win32::ResetRegistryForTests();  // folds the log in and empties it
  const auto logSize = [&] {
    struct stat st;
    return stat((folder_ + "/user.db-wal").c_str(), &st) == 0 ? st.st_size : 0;
  };
  const auto hiveState = [&] {
    struct stat st {};
    stat((folder_ + "/user.db").c_str(), &st);
    return std::make_tuple(testing_support::ReadFile(folder_ + "/user.db"), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  };
  // The closed hive keeps its log, emptied, and the log's index for the next process.
  EXPECT_TRUE(testing_support::FileExists(folder_ + "/user.db-wal") && logSize() == 0);
  EXPECT_TRUE(testing_support::FileExists(folder_ + "/user.db-shm"));
  const auto before = hiveState();
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(SetDword(key, u"V", 1), ERROR_SUCCESS);
  EXPECT_EQ(logSize(), 0);
  EXPECT_TRUE(hiveState() == before);
  ASSERT_EQ(Set(key, u"v", REG_BINARY, Dword(1)), ERROR_SUCCESS);  // same bytes, another type
  EXPECT_GT(logSize(), 0);
  RegCloseKey(key);
}

// A process that only reads a hive it may write leaves the log's index as it found it (making it truncates and
// writes the file); the first write opens the hive for writing.
TEST_F(RegistryTest, ReadingLeavesTheLogIndexAsItIs) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 1);
  compat::win32::ResetRegistryForTests();
  const auto changed = [index = folder_ + "/user.db-shm"] {
    struct stat st {};
    stat(index.c_str(), &st);
    return std::make_pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  };
  const auto before = changed();
  DWORD value = 0;
  ASSERT_EQ(compat::win32::ReadRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(changed() == before);
  ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"w", 2), ERROR_SUCCESS);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, u"w").data, Dword(2));
  EXPECT_EQ(Get(HKEY_CURRENT_USER, u"w").status, ERROR_SUCCESS);
}

// Run as root, the registry gives a hive's log and index files the hive's
// owner, and leaves files that have that owner already as they are.
TEST_F(RegistryTest, RootGivesTheLogFilesTheHivesOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 1);
  compat::win32::ResetRegistryForTests();
  const std::string hive = folder_ + "/user.db";
  ASSERT_EQ(chown(hive.c_str(), 4321, 4322), 0);
  for (const char* suffix : {"-wal", "-shm"}) std::remove((hive + suffix).c_str());
  ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"w", 2), ERROR_SUCCESS);
  const auto status = [&](const char* suffix) {
    struct stat st {};
    EXPECT_EQ(stat((hive + suffix).c_str(), &st), 0) << suffix;
    return st;
  };
  for (const char* suffix : {"-wal", "-shm"}) {
    EXPECT_EQ(status(suffix).st_uid, 4321u) << suffix;
    EXPECT_EQ(status(suffix).st_gid, 4322u) << suffix;
  }
  compat::win32::ResetRegistryForTests();
  const struct stat before = status("-wal");
  usleep(20000);  // past the file system's clock step
  EXPECT_EQ(Get(HKEY_CURRENT_USER, u"w").data, Dword(2));
  const struct stat after = status("-wal");
  EXPECT_TRUE(after.st_ctim.tv_sec == before.st_ctim.tv_sec && after.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
}

// A key's last-write time, as it reports it and as its parent lists it, moves with every change of its values
// and subkeys, and not with a value rewritten as it stands.
TEST_F(RegistryTest, KeyTimeFollowsItsLatestChange) {
  const HKEY parent = Create(HKEY_CURRENT_USER, u"Software\\orbtest"), key = Create(parent, u"k");
  const auto time = [&] {
    ULONGLONG own = 0, listed = 1;
    char16_t name[8];
    DWORD size = 8;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &own);
    RegEnumKeyExW(parent, 0, name, &size, nullptr, nullptr, nullptr, &listed);
    return own == listed ? own : 0;
  };
  ULONGLONG last = time();
  EXPECT_GT(last >> 32, 0x01d00000u);  // after 2015 in ticks since 1601
  const std::function<LONG()> changes[] = {
      [&] { return SetDword(key, u"v", 1); },          [&] { return SetDword(key, u"w", 2); },
      [&] { return SetDword(key, u"v", 3); },          [&] { return RegDeleteValueW(key, u"w"); },
      [&] { return RegCloseKey(Create(key, u"sub")); }, [&] { return RegDeleteTreeW(key, u"sub"); }};
  for (const auto& change : changes) {
    ASSERT_EQ(change(), ERROR_SUCCESS);
    EXPECT_GT(time(), last);
    last = time();
  }
  ASSERT_EQ(SetDword(key, u"v", 3), ERROR_SUCCESS);
  EXPECT_EQ(time(), last);
  for (HKEY k : {key, parent}) RegCloseKey(k);
}

// A hive of the format before value times is read as it lies where it may not be written, and upgraded at the
// first open that may write it.
TEST_F(RegistryTest, OlderHiveIsReadAndUpgraded) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 7);
  compat::win32::ResetRegistryForTests();
  const auto sql = [&](const char* statement) { return Sql(folder_ + "/user.db", statement); };
  sql("ALTER TABLE vals DROP COLUMN written");
  sql("PRAGMA user_version = 1");
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  const HKEY reader = Open(HKEY_CURRENT_USER, u"Software\\orbtest").key;
  EXPECT_EQ(ValueCount(reader), 1u);
  EXPECT_EQ(Get(reader, u"v").data, Dword(7));
  RegCloseKey(reader);

  ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
  compat::win32::ResetRegistryForTests();
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"w"), ERROR_SUCCESS);
  compat::win32::ResetRegistryForTests();
  EXPECT_EQ(sql("PRAGMA user_version"), 2);
  EXPECT_GT(sql("SELECT max(written) FROM vals"), 0);
}

// Threads share the process's connections to both hives: every call holds the registry's lock, the only
// lock their SQLite takes for a connection.
TEST_F(RegistryTest, ThreadsShareTheConnections) {
  constexpr int kThreads = 4, kValues = 25;
  const HKEY keys[] = {Create(HKEY_CURRENT_USER, u"Software\\orbtest"), Create(HKEY_LOCAL_MACHINE, u"Software\\orbtest")};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] { failures += WriteNumbered(keys[t % 2], char16_t(u'a' + t), kValues); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  for (HKEY key : keys) {
    EXPECT_EQ(ValueCount(key), static_cast<DWORD>(kThreads / 2 * kValues));
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, QueryValueFillsOutParametersAsWindowsDoes) {
  const HKEY root = HKEY_CURRENT_USER;
  ASSERT_EQ(Set(root, u"name", REG_SZ, Sz(u"Orbweave")), ERROR_SUCCESS);
  // No buffer asks for type and size; a short one gets both, unwritten; a miss touches nothing.
  const std::tuple<const char16_t*, bool, LONG, DWORD, DWORD> cases[] = {
      {u"name", false, ERROR_SUCCESS, REG_SZ, 18},
      {u"name", true, ERROR_MORE_DATA, REG_SZ, 18},
      {u"missing", true, ERROR_FILE_NOT_FOUND, kPoison, 8},
  };
  BYTE buffer[8];
  DWORD type, size, reserved = 0;
  for (const auto& [name, withBuffer, status, typeAfter, sizeAfter] : cases) {
    std::memset(buffer, 0xcc, sizeof buffer);
    type = kPoison;
    size = withBuffer ? sizeof buffer : kPoison;
    EXPECT_EQ(RegQueryValueExW(root, name, nullptr, &type, withBuffer ? buffer : nullptr, &size), status);
    EXPECT_EQ(type, typeAfter);
    EXPECT_EQ(size, sizeAfter);
    EXPECT_EQ(buffer[0], 0xcc);
  }
  EXPECT_EQ(RegQueryValueExW(root, u"name", nullptr, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(root, u"name", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
}

// A stored value read through RegGetValueW: what comes out, and nothing written beyond its size.
TEST_F(RegistryTest, GetValueRestrictsTypesAndTerminatesText) {
  const std::vector<BYTE> eight = Bytes({1, 2, 3, 4, 5, 6, 7, 8});
  constexpr DWORD kExpandOnly = RRF_RT_REG_EXPAND_SZ;
  // What, the type and bytes stored, the flags; the code, type (kPoison: left alone) and bytes answered.
  const std::tuple<const char*, DWORD, std::vector<BYTE>, DWORD, LONG, DWORD, std::vector<BYTE>> cases[] = {
      {"terminated text", REG_SZ, Sz(u"ab"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, Sz(u"ab")},
      {"text without terminator", REG_SZ, Units(u"ab"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, Sz(u"ab")},
      {"odd byte dropped", REG_SZ, Bytes({'a', 0, 'b'}), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ, Sz(u"a")},
      {"empty text", REG_SZ, {}, RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, Sz(u"")},
      {"multi-string", REG_MULTI_SZ, Units({u"a\0b", 3}), RRF_RT_REG_MULTI_SZ, ERROR_SUCCESS, REG_MULTI_SZ,
       Units({u"a\0b\0\0", 5})},
      {"expanded", REG_EXPAND_SZ, Sz(u"%ORBTEST_DIR%\\Ω %ORBTEST_UNSET% 100%"), RRF_RT_REG_SZ, ERROR_SUCCESS,
       REG_SZ, Sz(u"/opt/örb\\Ω %ORBTEST_UNSET% 100%")},
      {"not expanded", REG_EXPAND_SZ, Units(u"%ORBTEST_DIR%"), kExpandOnly | RRF_NOEXPAND, ERROR_SUCCESS,
       REG_EXPAND_SZ, Sz(u"%ORBTEST_DIR%")},
      {"expandable only, expanding", REG_EXPAND_SZ, Sz(u"x"), kExpandOnly, ERROR_INVALID_PARAMETER, kPoison, {}},
      {"expandable, not expanded, as text", REG_EXPAND_SZ, Sz(u"x"), RRF_RT_REG_SZ | RRF_NOEXPAND,
       ERROR_UNSUPPORTED_TYPE, kPoison, {}},
      {"no type at all", REG_SZ, Sz(u"x"), RRF_NOEXPAND, ERROR_INVALID_PARAMETER, kPoison, {}},
      {"text asked as number", REG_SZ, Sz(u"7"), RRF_RT_DWORD, ERROR_UNSUPPORTED_TYPE, kPoison, {}},
      {"short number", REG_DWORD, Bytes({7, 0}), RRF_RT_REG_DWORD, ERROR_DATATYPE_MISMATCH, kPoison, {}},
      {"binary as number", REG_BINARY, Dword(9), RRF_RT_DWORD, ERROR_SUCCESS, REG_BINARY, Dword(9)},
      {"binary as REG_DWORD only", REG_BINARY, Dword(9), RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, kPoison, {}},
      {"short binary as number", REG_BINARY, Bytes({9}), RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, kPoison, {}},
      {"short binary", REG_BINARY, Bytes({9}), RRF_RT_REG_BINARY, ERROR_SUCCESS, REG_BINARY, Bytes({9})},
      {"wide number", REG_QWORD, eight, RRF_RT_QWORD, ERROR_SUCCESS, REG_QWORD, eight},
      {"binary as wide number", REG_BINARY, Dword(1), RRF_RT_QWORD, ERROR_DATATYPE_MISMATCH, kPoison, {}},
      {"no value of no type", REG_NONE, {}, RRF_RT_REG_NONE, ERROR_SUCCESS, REG_NONE, {}},
      {"odd type, any", 0x12345, Bytes({1}), RRF_RT_ANY, ERROR_SUCCESS, 0x12345, Bytes({1})},
      {"odd type, restricted", 0x12345, Bytes({1}), RRF_RT_REG_NONE | RRF_RT_REG_BINARY, ERROR_UNSUPPORTED_TYPE,
       kPoison, {}},
  };
  SetEnv("ORBTEST_DIR", "/opt/örb");
  for (const auto& [what, storedType, stored, flags, status, type, data] : cases) {
    SCOPED_TRACE(what);
    ASSERT_EQ(Set(HKEY_CURRENT_USER, u"v", storedType, stored), ERROR_SUCCESS);
    DWORD typeRead = kPoison;
    std::vector<BYTE> buffer(64, 0xcc);
    DWORD size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, nullptr, u"v", flags, &typeRead, buffer.data(), &size), status);
    EXPECT_EQ(typeRead, type);
    const std::ptrdiff_t written = status == ERROR_SUCCESS ? std::ssize(data) : 0;
    EXPECT_EQ(size, status == ERROR_SUCCESS ? written : 64);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + written), data);
    EXPECT_EQ(std::count(buffer.begin() + written, buffer.end(), 0xcc), 64 - written) << "written beyond the value";
  }
}

TEST_F(RegistryTest, GetValueSizeProtocolAndLookup) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(Set(key, u"name", REG_SZ, Units(u"Orbweave")), ERROR_SUCCESS);  // stored without terminator
  const DWORD needed = 18;

  // No buffer: the size with the terminator RegGetValueW adds.
  DWORD type = kPoison, size = kPoison;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, u"Software\\orbtest", u"NAME", RRF_RT_REG_SZ, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, needed);
  EXPECT_EQ(RegGetValueW(key, nullptr, u"name", RRF_RT_ANY, nullptr, nullptr, nullptr), ERROR_SUCCESS);

  // A buffer one unit short: the needed size and type, the buffer left alone, or zeroed when asked.
  for (DWORD flags : {DWORD{RRF_RT_REG_SZ}, DWORD{RRF_RT_REG_SZ | RRF_ZEROONFAILURE}}) {
    std::vector<BYTE> buffer(needed, 0xcc);
    type = kPoison;
    size = needed - 2;
    EXPECT_EQ(RegGetValueW(key, nullptr, u"name", flags, &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    const BYTE fill = (flags & RRF_ZEROONFAILURE) ? 0 : 0xcc;
    EXPECT_EQ(std::count(buffer.begin(), buffer.end() - 2, fill), needed - 2);
    EXPECT_EQ(buffer[needed - 1], 0xcc);
  }

  // What finds nothing touches nothing.
  BYTE buffer[4] = {0xcc, 0xcc, 0xcc, 0xcc};
  const HKEY reader = Open(HKEY_CURRENT_USER, u"Software\\orbtest", KEY_ENUMERATE_SUB_KEYS).key;
  const std::tuple<HKEY, const char16_t*, const char16_t*, LONG> misses[] = {
      {key, nullptr, u"missing", ERROR_FILE_NOT_FOUND},
      {HKEY_CURRENT_USER, u"Software\\\\orbtest", u"name", ERROR_BAD_PATHNAME},
      {HKEY_USERS, nullptr, u"name", ERROR_FILE_NOT_FOUND},
      {reader, nullptr, u"name", ERROR_ACCESS_DENIED},
  };
  for (const auto& [root, path, name, status] : misses) {
    type = kPoison;
    size = sizeof buffer;
    EXPECT_EQ(RegGetValueW(root, path, name, RRF_RT_ANY, &type, buffer, &size), status);
    EXPECT_EQ(type, kPoison);
    EXPECT_EQ(size, sizeof buffer);
    EXPECT_EQ(buffer[0], 0xcc);
  }
  EXPECT_EQ(RegGetValueW(key, nullptr, u"name", RRF_RT_ANY, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  for (HKEY k : {key, reader}) RegCloseKey(k);
}

TEST_F(RegistryTest, TypedReadsAndScopedKeys) {
  using compat::win32::ScopedKey;
  const std::u16string longText(300, u'x');
  HKEY raw = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(Set(raw, u"long", REG_SZ, Units(longText)), ERROR_SUCCESS);
  ASSERT_EQ(Set(raw, u"two", REG_SZ, Units({u"a\0b", 3})), ERROR_SUCCESS);
  ASSERT_EQ(Set(raw, u"n", REG_DWORD, Bytes({4, 3, 2, 1})), ERROR_SUCCESS);
  ASSERT_EQ(Set(raw, u"path", REG_EXPAND_SZ, Sz(u"%HOME%")), ERROR_SUCCESS);
  ASSERT_EQ(Set(raw, u"bytes", REG_BINARY, Bytes({4, 3, 2, 1})), ERROR_SUCCESS);

  ScopedKey key(raw);
  // Each read takes its own type only (no expanded text, no bytes that fit a number) and leaves its result
  // alone when it fails; text ends at its first terminator.
  std::u16string text = u"poison";
  DWORD number = kPoison;
  const std::tuple<bool, const char16_t*, LONG, std::u16string, DWORD> reads[] = {
      {true, u"long", ERROR_SUCCESS, longText, kPoison},     {true, u"two", ERROR_SUCCESS, u"a", kPoison},
      {true, u"n", ERROR_UNSUPPORTED_TYPE, u"a", kPoison},    {true, u"path", ERROR_UNSUPPORTED_TYPE, u"a", kPoison},
      {false, u"n", ERROR_SUCCESS, u"a", 0x01020304u},       {false, u"long", ERROR_UNSUPPORTED_TYPE, u"a", 0x01020304u},
      {false, u"bytes", ERROR_UNSUPPORTED_TYPE, u"a", 0x01020304u},
  };
  for (const auto& [asText, name, status, textAfter, numberAfter] : reads) {
    EXPECT_EQ(asText ? compat::win32::ReadRegText(key.Get(), nullptr, name, &text)
                     : compat::win32::ReadRegDword(key.Get(), nullptr, name, &number),
              status);
    EXPECT_EQ(std::tuple(text, number), std::tuple(textAfter, numberAfter)) << compat::win32::Utf16ToUtf8(name);
  }

  // Moving hands the key on; the last holder closes it, once.
  ScopedKey moved(std::move(key));
  EXPECT_FALSE(key);
  key = std::move(moved);
  ScopedKey& same = key;
  key = std::move(same);  // moving onto itself keeps the key
  ScopedKey other;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, other.Receive()), ERROR_SUCCESS);
  const HKEY second = other.Get();
  other = std::move(key);  // closes the key it held
  EXPECT_EQ(RegCloseKey(second), ERROR_INVALID_HANDLE);
  EXPECT_EQ(other.Release(), raw);
  EXPECT_EQ(RegCloseKey(raw), ERROR_SUCCESS);
}

TEST_F(RegistryTest, NamesIgnoreCaseBeyondAsciiAndKeepTheirSpelling) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Ärger\\Ключ\\ÿ"));
  const HKEY same = Open(HKEY_CURRENT_USER, u"software\\äRGER\\КЛЮЧ\\Ÿ", KEY_ALL_ACCESS).key;
  HKEY parent = Create(HKEY_CURRENT_USER, u"SOFTWARE\\ärger");
  EXPECT_EQ(SubKeys(parent), Names{u"Ключ"});

  // A value keeps the spelling it was made with, whatever spelling rewrites it.
  ASSERT_EQ(SetDword(same, u"Größe", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(same, u"GRÖßE", 2), ERROR_SUCCESS);
  EXPECT_EQ(Get(same, u"grösse").status, ERROR_FILE_NOT_FOUND);  // ß has no one-unit capital
  char16_t name[32];
  DWORD nameSize = 32, type = kPoison, dataSize = 4;
  BYTE data[4];
  ASSERT_EQ(RegEnumValueW(same, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, nameSize), u"Größe");
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(RegEnumValueW(same, 1, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_NO_MORE_ITEMS);
  ASSERT_EQ(SetDword(same, u"Ł", 3), ERROR_SUCCESS);
  EXPECT_EQ(Get(same, u"A").status, ERROR_FILE_NOT_FOUND);  // U+0141 and U+0041 differ only in their high byte

  // A name with a lone surrogate comes back unit for unit.
  const char16_t odd[] = {u'a', 0xD800, u'b', 0};
  HKEY oddKey = Create(parent, odd);
  EXPECT_EQ(SubKeys(parent), (Names{odd, u"Ключ"}));
  for (HKEY k : {same, parent, oddKey}) RegCloseKey(k);
}

TEST_F(RegistryTest, EnumerationIsSortedWithoutCaseAndReportsShortBuffers) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta"}) {
    RegCloseKey(Create(key, name));
    ASSERT_EQ(Set(key, name, REG_SZ, Sz(name)), ERROR_SUCCESS);
  }
  EXPECT_EQ(SubKeys(key), (Names{u"Alpha", u"beta", u"Delta", u"gamma"}));

  // Key names: the size counts the terminator going in, not coming out.
  char16_t name[8] = {u'\xcccc'};
  DWORD size = 5;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(name[0], u'\xcccc');
  size = 6;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::u16string(name), u"Alpha");

  // Values: a short data buffer still gives the name, type and needed size.
  DWORD nameSize = 8, type = kPoison, dataSize = 4;
  BYTE data[4];
  EXPECT_EQ(RegEnumValueW(key, 2, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(std::u16string(name), u"Delta");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(dataSize, 12u);
  nameSize = 8;
  EXPECT_EQ(RegEnumValueW(key, 4, name, &nameSize, nullptr, &type, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  std::vector<DWORD> info(6, kPoison);
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info[0], &info[1], nullptr, &info[2], &info[3],
                             &info[4], &info[5], nullptr),
            ERROR_SUCCESS);
  // Subkeys, longest subkey name, values, longest value name, largest data, security.
  EXPECT_EQ(info, std::vector<DWORD>({4, 5, 4, 5, 12, 0}));
  RegCloseKey(key);
}

// Each handle walks on from the name it answered last: a change to the key between calls neither repeats nor
// skips a name, and a short buffer or another index starts over from the position asked for.
TEST_F(RegistryTest, EnumerationWalksOnFromTheLastNameOfItsHandle) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  HKEY other = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  for (const char16_t* name : {u"b", u"d", u"f", u"h"}) {
    ASSERT_EQ(SetDword(key, name), ERROR_SUCCESS);
    RegCloseKey(Create(key, name));
  }
  // The names the handle answers for `indexes` in turn (capacity 1 for a negative one); "!" for ERROR_MORE_DATA,
  // "-" for ERROR_NO_MORE_ITEMS.
  const auto walk = [](HKEY at, bool values, std::initializer_list<int> indexes) {
    std::u16string names;
    for (const int index : indexes) {
      char16_t name[8] = {u'\xcccc'};
      DWORD size = index < 0 ? 1 : 8;
      const DWORD i = static_cast<DWORD>(index < 0 ? -index : index);
      const LONG status = values ? RegEnumValueW(at, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                                 : RegEnumKeyExW(at, i, name, &size, nullptr, nullptr, nullptr, nullptr);
      names += status == ERROR_SUCCESS         ? name
               : status == ERROR_MORE_DATA     ? u"!"
               : status == ERROR_NO_MORE_ITEMS ? u"-"
                                               : u"?";
    }
    return names;
  };
  EXPECT_EQ(walk(key, true, {0, 1}) + walk(other, true, {2}), u"bdf");  // another handle counts from the start
  ASSERT_EQ(RegDeleteValueW(key, u"b"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, u"a"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, u"E"), ERROR_SUCCESS);
  EXPECT_EQ(walk(key, true, {2, -3, 3, 4, 5, 0}), u"E!fh-a");  // counted: a, d, E, f, h

  EXPECT_EQ(walk(key, false, {0, 1}), u"bd");
  ASSERT_EQ(RegDeleteKeyW(key, u"d"), ERROR_SUCCESS);
  EXPECT_EQ(walk(key, false, {2, 3, 4}), u"fh-");
  RegCloseKey(other);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletingKeysAndWhatTheirHandlesAnswerAfterwards) {
  HKEY top = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  HKEY child = Create(top, u"child\\grandchild");
  ASSERT_EQ(SetDword(child, u"v"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(top, u"child"), ERROR_ACCESS_DENIED);  // it has a subkey
  EXPECT_EQ(RegDeleteKeyW(top, u"nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(top, u"CHILD\\Grandchild"), ERROR_SUCCESS);
  EXPECT_EQ(Get(child, u"v").status, ERROR_KEY_DELETED);
  for (const char16_t* below : {static_cast<const char16_t*>(nullptr), u"deeper"})
    EXPECT_EQ(RegGetValueW(child, below, u"v", RRF_RT_ANY, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(child, u"v"), ERROR_KEY_DELETED);

  // A key made again under the old name is a new key; the old handle stays dead.
  RegCloseKey(Create(top, u"child\\grandchild"));
  EXPECT_EQ(Get(child, u"v").status, ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

  // Deleting a tree: a named subkey goes; with none, the key is emptied.
  ASSERT_EQ(SetDword(top, u"kept?"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(top, u"child"), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(top), Names{});
  RegCloseKey(Create(top, u"again\\and again"));
  EXPECT_EQ(RegDeleteTreeW(top, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(top), Names{});
  EXPECT_EQ(Get(top, u"kept?").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetDword(top, u"alive"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(top, u"missing"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(top);
}

TEST_F(RegistryTest, ShellKeyDeletionTakesWholeSubtreesButNoRoot) {
  HKEY top = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  RegCloseKey(Create(top, u"a\\b\\c"));
  HKEY doomed = Create(top, u"doomed\\inner");
  ASSERT_EQ(SetDword(doomed, u"v"), ERROR_SUCCESS);

  EXPECT_EQ(SHDeleteKeyW(top, u"A"), ERROR_SUCCESS);  // subkeys and all, without case
  EXPECT_EQ(SHDeleteKeyW(top, u"a"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SHDeleteKeyW(top, u"\\doomed"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SubKeys(top), Names{u"doomed"});

  // With no subkey the handle's own key goes, and the handle is dead afterwards.
  EXPECT_EQ(SHDeleteKeyW(doomed, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Get(doomed, u"v").status, ERROR_KEY_DELETED);
  EXPECT_EQ(SHDeleteKeyW(doomed, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(Open(top, u"doomed\\inner").status, ERROR_FILE_NOT_FOUND);
  const Opened parent = Open(top, u"doomed");
  EXPECT_EQ(parent.status, ERROR_SUCCESS);
  RegCloseKey(parent.key);
  RegCloseKey(doomed);
  RegCloseKey(top);
}

TEST_F(RegistryTest, HandlesAndAccessRights) {
  const HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Get(bogus, u"v").status, ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

  RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\orbtest"));
  const HKEY reader = Open(HKEY_CURRENT_USER, u"Software\\orbtest").key;
  EXPECT_EQ(SetDword(reader, u"v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Make(reader, u"sub", KEY_READ).status, ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);

  const HKEY writer = Open(HKEY_CURRENT_USER, u"Software\\orbtest", KEY_SET_VALUE).key;
  EXPECT_EQ(SetDword(writer, u"v"), ERROR_SUCCESS);
  EXPECT_EQ(Get(writer, u"v").status, ERROR_ACCESS_DENIED);
  // Naming a subkey to delete asks no right of the handle.
  EXPECT_EQ(RegDeleteTreeW(writer, u"missing"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(writer);
}

TEST_F(RegistryTest, ClassesRootAndUsersMapOntoTheTwoHives) {
  HKEY cls = Create(HKEY_CLASSES_ROOT, u".orb");
  ASSERT_EQ(Set(cls, nullptr, REG_SZ, Sz(u"Orbweave.Project")), ERROR_SUCCESS);
  const HKEY machine = Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.ORB").key;
  EXPECT_EQ(Get(machine, nullptr).data, Sz(u"Orbweave.Project"));
  EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT), Names{u".orb"});

  HKEY user = Create(HKEY_USERS, u".default\\Software\\orbtest");
  ASSERT_EQ(SetDword(user, u"v", 5), ERROR_SUCCESS);
  const HKEY current = Open(HKEY_CURRENT_USER, u"Software\\orbtest").key;
  EXPECT_EQ(Get(current, u"v").data, Dword(5));
  EXPECT_EQ(SubKeys(HKEY_USERS), Names{u".DEFAULT"});
  EXPECT_EQ(Make(HKEY_USERS, u"S-1-5-18", KEY_WRITE).status, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(HKEY_USERS, u"S-1-5-18").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetDword(HKEY_USERS, u"v"), ERROR_ACCESS_DENIED);
  for (HKEY k : {cls, machine, user, current}) RegCloseKey(k);
}

TEST_F(RegistryTest, ReadOnlyHiveRefusesWritesAndStillReads) {
  // A folder name with the characters that file URIs reserve.
  const std::string folder = folder_ + "/odd %41?#";
  SetEnv("ORBWEAVE_PREFIX", folder);
  testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"winxp");
  // A handle given write rights before keeps them while its hive is open, as a handle does on the desktop.
  const HKEY writer = Make(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", KEY_WRITE).key;
  ASSERT_EQ(chmod((folder + "/machine.db").c_str(), 0444), 0);

  // Once while the hive is open for writing, once opened afresh read-only in a read-only folder.
  for (bool reopen : {false, true}) {
    SCOPED_TRACE(reopen ? "reopened" : "open");
    if (reopen) {
      ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
      compat::win32::ResetRegistryForTests();
    }
    EXPECT_EQ(Make(HKEY_LOCAL_MACHINE, u"Software\\New", KEY_WRITE).status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", KEY_WRITE).status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software"), ERROR_ACCESS_DENIED);
    const HKEY reader = Make(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", KEY_READ).key;
    EXPECT_EQ(Get(reader, u"Version").data, Sz(u"winxp"));
    RegCloseKey(reader);
    // The user hive beside it is unaffected until its folder turns read-only.
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"v"), reopen ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    EXPECT_EQ(SetDword(writer, u"w"), reopen ? ERROR_KEY_DELETED : ERROR_SUCCESS);
  }
  RegCloseKey(writer);
  EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE), Names{u"Software"});
}

TEST_F(RegistryTest, MissingHiveInReadOnlyFolderReadsEmpty) {
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  EXPECT_EQ(SubKeys(HKEY_CURRENT_USER), Names{u"Software"});  // the skeleton every hive starts with
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\orbtest").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Make(HKEY_CURRENT_USER, u"Software\\orbtest", KEY_WRITE).status, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(testing_support::FileExists(folder_ + "/user.db"));
  // The empty hive read so far takes no writes, which it would only keep in memory, once the folder opens up.
  ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
  EXPECT_EQ(Make(HKEY_CURRENT_USER, u"Software\\orbtest", KEY_WRITE).status, ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, DamagedOrForeignFilesAreReportedAndLeftAlone) {
  // Other programs' databases at the hive's place (one with a table, one with only a version number), and
  // plain junk; each once writable and once read-only.
  const std::string file = folder_ + "/user.db";
  const auto database = [&](const char* sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string bytes = testing_support::ReadFile(file);
    unlink(file.c_str());
    return bytes;
  };
  for (const std::string& content : {database("CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');"),
                                     database("PRAGMA user_version = 7;"), std::string(5000, 'x')}) {
    for (mode_t mode : {0644, 0444}) {
      testing_support::WriteFile(file, content);
      ASSERT_EQ(chmod(file.c_str(), mode), 0);
      compat::win32::ResetRegistryForTests();
      EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software").status, ERROR_BADDB);
      EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"v"), ERROR_BADDB);
      EXPECT_TRUE(testing_support::ReadFile(file) == content) << "the file was changed";
      EXPECT_FALSE(testing_support::FileExists(file + "-wal"));
      EXPECT_FALSE(testing_support::FileExists(file + "-shm"));
      ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    }
  }
  // An empty file is a hive yet to be made; the machine hive is unaffected.
  testing_support::WriteFile(file, "");
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"v"), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"v"), ERROR_SUCCESS);
}

// Opens that fail for want of space (a child's file-size limit) leave no files of their own making.
TEST_F(RegistryTest, FailedOpenLeavesNoFilesBehind) {
  testing_support::SetRegDword(HKEY_LOCAL_MACHINE, u"Software\\orbtest", u"v", 1);
  compat::win32::ResetRegistryForTests();  // folds the log in and empties it
  // The machine hive without its log and index, so that the failed open would have to make them.
  for (const char* name : {"machine.db-wal", "machine.db-shm"}) ASSERT_EQ(unlink((folder_ + "/" + name).c_str()), 0);
  const std::string machine = testing_support::ReadFile(folder_ + "/machine.db");
  const int failed = Reap(ForkChild([] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_FSIZE, &none);
    return SetDword(HKEY_CURRENT_USER, u"v") != ERROR_SUCCESS && SetDword(HKEY_LOCAL_MACHINE, u"v") != ERROR_SUCCESS;
  }));
  EXPECT_EQ(failed, 1) << "a write succeeded without space";
  for (const char* name : {"user.db", "user.db-wal", "user.db-shm", "machine.db-wal", "machine.db-shm"})
    EXPECT_FALSE(testing_support::FileExists(folder_ + "/" + name)) << name;
  EXPECT_TRUE(testing_support::ReadFile(folder_ + "/machine.db") == machine);
}

// A write that finds no room (a child's file-size limit) is refused whole, and the next write, with room again,
// goes through alone.
TEST_F(RegistryTest, AWriteWithoutRoomIsRefusedWholeAndJamsNothing) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"before", 1);
  const int codes = Reap(ForkChild([] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlim_t old = limit.rlim_cur;
    limit.rlim_cur = 64 << 10;
    setrlimit(RLIMIT_FSIZE, &limit);
    const HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
    const LONG big = Set(key, u"big", REG_BINARY, std::vector<BYTE>(256 << 10, 7));
    limit.rlim_cur = old;
    setrlimit(RLIMIT_FSIZE, &limit);
    return (big == ERROR_REGISTRY_IO_FAILED ? 0 : 1) | (SetDword(key, u"after") == ERROR_SUCCESS ? 0 : 2);
  }));
  EXPECT_EQ(codes, 0) << "1: the big write was not refused as a failed write; 2: the next write failed";
  compat::win32::ResetRegistryForTests();
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  EXPECT_EQ(Get(key, u"before").data, Dword(1));
  EXPECT_EQ(Get(key, u"big").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get(key, u"after").data, Dword(1));
  RegCloseKey(key);
}

// A child of fork() never works through the connection it inherited: its first call opens one of its own,
// beside the parent's descriptor it keeps open and unused.
TEST_F(RegistryTest, ChildOfForkOpensAConnectionOfItsOwn) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 1);  // the parent's is open
  const std::string hive = std::filesystem::canonical(folder_ + "/user.db");
  const auto descriptorsOfHive = [&] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      count += std::filesystem::read_symlink(entry.path(), error) == hive;
    }
    return count;
  };
  ASSERT_EQ(descriptorsOfHive(), 1);
  const int child = Reap(ForkChild([&] {
    DWORD value = 0;
    const LONG status = compat::win32::ReadRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", &value);
    return status == ERROR_SUCCESS && value == 1 ? descriptorsOfHive() : -1;
  }));
  EXPECT_EQ(child, 2);
}

// A read through a connection that stays open sees what another process committed before it began: a
// changed value, then its key deleted.
TEST_F(RegistryTest, ReadsSeeAnotherProcessesEarlierCommits) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest\\shared");
  ASSERT_EQ(SetDword(key, u"v"), ERROR_SUCCESS);
  ASSERT_EQ(Get(key, u"v").status, ERROR_SUCCESS);  // the connection is open
  for (bool deleting : {false, true}) {
    ASSERT_EQ(Reap(ForkChild([&] {
                return deleting ? RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\orbtest\\shared")
                                : SetDword(Create(HKEY_CURRENT_USER, u"Software\\orbtest\\shared"), u"v", 7);
              })),
              0);
    const Read read = Get(key, u"v");
    EXPECT_EQ(read.status, deleting ? ERROR_KEY_DELETED : ERROR_SUCCESS);
    EXPECT_EQ(read.data, deleting ? std::vector<BYTE>() : Dword(7));
  }
  RegCloseKey(key);
}

// A read batch keeps one snapshot of a hive for its reads: another process writes without waiting, and its
// commit shows once the batch ends; the process's own writes show at once.
TEST_F(RegistryTest, ReadBatchSharesOneSnapshotUntilItEnds) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(SetDword(key, u"v", 1), ERROR_SUCCESS);
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest\\gone", u"w", 2);
  const auto read = [&](const char16_t* name) {
    const Read got = Get(key, name);
    return got.status == ERROR_SUCCESS ? got.data : std::vector<BYTE>();
  };
  const auto readBelow = [] {
    DWORD value = kPoison;
    return compat::win32::ReadRegDword(HKEY_CURRENT_USER, u"Software\\orbtest\\gone", u"w", &value);
  };
  {
    compat::win32::RegistryReadBatch batch;
    ASSERT_EQ(read(u"v"), Dword(1));
    // The writer would fail on the lock if the batch's snapshot held it out.
    ASSERT_EQ(Reap(ForkChild([] { return SetDword(Create(HKEY_CURRENT_USER, u"Software\\orbtest"), u"v", 7); })), 0);
    EXPECT_EQ(read(u"v"), Dword(1));
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"own"), ERROR_SUCCESS);  // another hive's write keeps this snapshot
    EXPECT_EQ(read(u"v"), Dword(1));
    ASSERT_EQ(SetDword(key, u"own", 3), ERROR_SUCCESS);
    EXPECT_EQ(read(u"own"), Dword(3));
    // A key the batch has walked through, deleted by this process and made again.
    ASSERT_EQ(readBelow(), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(key, u"gone"), ERROR_SUCCESS);
    EXPECT_EQ(readBelow(), ERROR_FILE_NOT_FOUND);
    testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest\\gone", u"w", 4);
    EXPECT_EQ(readBelow(), ERROR_SUCCESS);
  }
  EXPECT_EQ(read(u"v"), Dword(7));
  RegCloseKey(key);
}

// A write batch commits once, when it ends: another process reads none of its writes before and all of them
// after. A call in it that fails undoes nothing of the others; a batch that an exception unwinds keeps nothing.
TEST_F(RegistryTest, WriteBatchKeepsItsWritesTogether) {
  const auto seenByAnother = [](const char16_t* name) {
    return Reap(ForkChild([name] {
      DWORD value = 0;
      return compat::win32::ReadRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", name, &value) == ERROR_SUCCESS
                 ? static_cast<int>(value)
                 : 0;
    }));
  };
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"m", 4), ERROR_SUCCESS);
  {
    compat::win32::RegistryWriteBatch batch;
    ASSERT_EQ(SetDword(key, u"a", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"missing"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"m", 5), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"b", 2), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, u"a").data, Dword(1));
    EXPECT_EQ(ValueCount(key), 2u);  // a read that runs as a transaction of its own inside the batch
    EXPECT_EQ(seenByAnother(u"a"), 0);
    EXPECT_EQ(batch.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(seenByAnother(u"a"), 1);
  EXPECT_EQ(seenByAnother(u"b"), 2);
  EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, u"m").data, Dword(5));
  RegCloseKey(key);
  compat::win32::ResetRegistryForTests();  // the batch below opens the hive itself
  try {
    compat::win32::RegistryWriteBatch batch;
    key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
    ASSERT_EQ(SetDword(key, u"c", 3), ERROR_SUCCESS);
    RegCloseKey(key);
    throw std::runtime_error("the import failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(seenByAnother(u"c"), 0);
  EXPECT_EQ(seenByAnother(u"a"), 1);
  {
    compat::win32::RegistryWriteBatch batch;  // a batch after the unwound one holds its writes again
    key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
    ASSERT_EQ(SetDword(key, u"d", 4), ERROR_SUCCESS);
    EXPECT_EQ(seenByAnother(u"d"), 0);
    RegCloseKey(key);
  }
  EXPECT_EQ(seenByAnother(u"d"), 4);
}

// Another process holds the lock that keeps readers out of the user hive, as SQLite's exclusive lock does.
TEST_F(RegistryTest, LockedHiveCostsOneWaitThenAnswersAtOnce) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", 1);
  compat::win32::ResetRegistryForTests();
  auto lock = std::make_unique<testing_support::ForeignLock>(folder_ + "/user.db");
  ASSERT_TRUE(lock->held());

  DWORD value = kPoison;
  auto read = [&] { return compat::win32::ReadRegDword(HKEY_CURRENT_USER, u"Software\\orbtest", u"v", &value); };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read(), ERROR_LOCK_VIOLATION);
  const auto firstWait = std::chrono::steady_clock::now() - start;
  // Later calls try once without waiting again, until one gets through.
  EXPECT_EQ(read(), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"w"), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(read(), ERROR_LOCK_VIOLATION);
  EXPECT_LT(std::chrono::steady_clock::now() - start, firstWait * 3 / 2);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"v"), ERROR_SUCCESS);
  EXPECT_EQ(value, kPoison);

  lock.reset();
  EXPECT_EQ(read(), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"w"), ERROR_SUCCESS);  // the open that met the lock left nothing behind
}

// A writer is killed with its commits still in the write-ahead log; a reader that may not write the folder
// must see them all, or refuse the hive.
TEST_F(RegistryTest, ReaderWithoutWriteAccessSeesEveryCommitOrRefuses) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "reading as another user needs root and the user nobody";
  // The reader may enter the hives' folder but not write it.
  ASSERT_EQ(chmod(folder().path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
  constexpr int kValues = 50;
  const int writer = Reap(ForkChild([] {
    if (WriteNumbered(Create(HKEY_CURRENT_USER, u"Software\\orbtest"), u'v', kValues) == 0) raise(SIGKILL);
    return 1;
  }));
  ASSERT_EQ(writer, kKilled) << "the writer failed";
  ASSERT_TRUE(testing_support::FileExists(folder_ + "/user.db-wal"));

  // Exit code 0: every value seen; 1: refused with ERROR_CANTREAD; 2: anything else.
  const auto readAsNobody = [&] {
    return Reap(ForkChild([&] {
      if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) return 3;
      DWORD values = 0;
      HKEY key = nullptr;
      LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_READ, &key);
      if (result == ERROR_SUCCESS)
        result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr);
      if (result == ERROR_CANTREAD) return 1;
      return result == ERROR_SUCCESS && values == kValues ? 0 : 2;
    }));
  };
  EXPECT_EQ(readAsNobody(), 0);
  // Without the log's index, which the reader cannot make, the hive is refused rather than read stale.
  ASSERT_EQ(unlink((folder_ + "/user.db-shm").c_str()), 0);
  EXPECT_EQ(readAsNobody(), 1);
}

// Processes that start together and find no hive yet: one makes it, the others wait for it, and every
// commit of a writer killed without closing anything stays.
TEST_F(RegistryTest, ProcessesSharingANewHiveKeepEveryCommit) {
  constexpr int kProcesses = 8, kWrites = 20;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(ForkChild([&] {
      close(gate[1]);
      char byte;
      (void)read(gate[0], &byte, 1);  // returns once the parent closes its end
      const HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
      if (WriteNumbered(key, char16_t(u'a' + i), kWrites) == 0) raise(SIGKILL);
      return 1;
    }));
  }
  close(gate[0]);
  close(gate[1]);
  for (const pid_t child : children) EXPECT_EQ(Reap(child), kKilled) << "a writer failed";

  compat::win32::ResetRegistryForTests();
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  EXPECT_EQ(ValueCount(key), DWORD{kProcesses * kWrites});
  EXPECT_EQ(Get(key, u"h19").data, Dword(19));
  RegCloseKey(key);
}

TEST_F(RegistryTest, HiveFolderFollowsTheEnvironment) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(SetDword(key, u"v"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"v"), ERROR_SUCCESS);

  const std::string other = folder_ + "/other";
  SetEnv("ORBWEAVE_PREFIX", other);
  EXPECT_EQ(compat::win32::HiveFolder(), other);
  EXPECT_EQ(Get(key, u"v").status, ERROR_KEY_DELETED);  // the key belongs to the other folder
  EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, u"v").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\orbtest").status, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(testing_support::FileExists(other + "/user.db"));  // the folder is made on first use
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  SetEnv("ORBWEAVE_PREFIX", folder_);
  key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  EXPECT_EQ(Get(key, u"v").status, ERROR_SUCCESS);
  RegCloseKey(key);

  UnsetEnv("ORBWEAVE_PREFIX");
  SetEnv("XDG_CONFIG_HOME", "/xdg");
  EXPECT_EQ(compat::win32::HiveFolder(), "/xdg/orbweave/registry");
  UnsetEnv("XDG_CONFIG_HOME");
  SetEnv("HOME", "/home/ann");
  EXPECT_EQ(compat::win32::HiveFolder(), "/home/ann/.config/orbweave/registry");
}

// Reserved arguments must be zero and an open takes no option but REG_OPTION_OPEN_LINK; a slip changes nothing.
TEST_F(RegistryTest, NonZeroReservedArgumentsAreRefused) {
  HKEY key = kPoisonKey;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\orbtest").status, ERROR_FILE_NOT_FOUND);
  key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  const std::vector<BYTE> one = Dword(1);
  EXPECT_EQ(RegSetValueExW(key, u"v", 1, REG_DWORD, one.data(), 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Get(key, u"v").status, ERROR_FILE_NOT_FOUND);
  HKEY opened = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(key, nullptr, REG_OPTION_VOLATILE, KEY_READ, &opened), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(opened, nullptr);
  ASSERT_EQ(RegOpenKeyExW(key, nullptr, REG_OPTION_OPEN_LINK, KEY_READ, &opened), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
