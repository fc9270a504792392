// The registry functions against their Windows contract: return codes, what
// the out-parameters hold afterwards (poisoned first), names without case,
// the mapped roots, read-only hives and two processes sharing a hive.
#include "compat/win32/Registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kPoison = 0xcccccccc;
const HKEY kPoisonKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xcccccccc));

std::vector<BYTE> Sz(std::u16string_view text) {
  std::vector<BYTE> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  std::vector<BYTE> bytes;
  for (int v : values) bytes.push_back(static_cast<BYTE>(v));
  return bytes;
}

LONG Set(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
  return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

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

HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
  HKEY key = kPoisonKey;
  EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
            ERROR_SUCCESS);
  return key;
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

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ORBWEAVE_PREFIX", folder_.c_str(), 1); }
  testing_support::TempFolder temp_;
  const std::string folder_ = temp_.path();
};

TEST_F(RegistryTest, CreateMakesEveryLevelAndReportsDisposition) {
  DWORD disposition = kPoison;
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest\\a\\b\\", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  disposition = kPoison;
  key = Create(HKEY_CURRENT_USER, u"SOFTWARE\\OrbTest\\A\\B", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  // A relative path from an opened key reaches the same key.
  HKEY parent = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  HKEY same = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(parent, u"a\\B", 0, KEY_READ, &same), ERROR_SUCCESS);
  EXPECT_EQ(Set(key, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(Get(same, u"V").status, ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(parent), std::vector<std::u16string>{u"a"});
  for (HKEY k : {key, same, parent}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  // Malformed and missing paths leave the result null.
  struct Case {
    const char16_t* path;
    LONG create;
    LONG open;
  };
  const Case cases[] = {
      {u"\\Software\\x", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {u"Software\\\\x", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {u"Software\\missing\\deeper", ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
    HKEY opened = kPoisonKey;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, c.path, 0, KEY_READ, &opened), c.open);
    EXPECT_EQ(opened, nullptr);
    HKEY created = kPoisonKey;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, c.path, 0, nullptr, 0, KEY_WRITE, nullptr, &created,
                              nullptr),
              c.create);
    if (c.create == ERROR_SUCCESS) RegCloseKey(created);
    else EXPECT_EQ(created, nullptr);
  }

  // Opening a root itself answers the root's handle.
  HKEY root = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, KEY_READ, &root), ERROR_SUCCESS);
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndExactBytes) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const Case cases[] = {
      {u"text", REG_SZ, Sz(u"Korvane")},
      {u"unterminated", REG_SZ, Bytes({'a', 0, 'b'})},
      {u"empty", REG_SZ, {}},
      {u"expand", REG_EXPAND_SZ, Sz(u"%HOME%\\x")},
      {u"multi", REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})},
      {u"dword", REG_DWORD, Bytes({0x2a, 0, 0, 0})},
      {u"qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
      {u"binary", REG_BINARY, Bytes({0, 0xff, 0, 0x80})},
      {u"none", REG_NONE, {}},
      {u"odd type", 0x12345, Bytes({9})},
      {nullptr, REG_SZ, Sz(u"default")},
  };
  for (const Case& c : cases) ASSERT_EQ(Set(key, c.name, c.type, c.data), ERROR_SUCCESS);
  for (const Case& c : cases) {
    const Read read = Get(key, c.name);
    EXPECT_EQ(read.status, ERROR_SUCCESS);
    EXPECT_EQ(read.type, c.type);
    EXPECT_EQ(read.data, c.data);
  }
  // The default value has the empty name; rewriting replaces type and bytes.
  EXPECT_EQ(Get(key, u"").data, Sz(u"default"));
  ASSERT_EQ(Set(key, u"TEXT", REG_DWORD, Bytes({7, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, u"text").type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 4), 998);

  EXPECT_EQ(RegDeleteValueW(key, u"Text"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"text"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get(key, u"text").status, ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryValueFillsOutParametersAsWindowsDoes) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  const std::vector<BYTE> text = Sz(u"Orbweave");
  ASSERT_EQ(Set(key, u"name", REG_SZ, text), ERROR_SUCCESS);

  // A null data pointer asks for type and size.
  DWORD type = kPoison, size = kPoison;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, text.size());

  // Too small a buffer: the needed size, the data left alone.
  BYTE buffer[8];
  std::memset(buffer, 0xcc, sizeof buffer);
  type = kPoison;
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, text.size());
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(buffer[0], 0xcc);

  // A missing value touches nothing.
  type = kPoison;
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, u"missing", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, kPoison);
  EXPECT_EQ(size, sizeof buffer);

  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, u"name", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesIgnoreCaseBeyondAsciiAndKeepTheirSpelling) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Ärger\\Ключ\\ÿ");
  RegCloseKey(key);
  HKEY same = kPoisonKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\äRGER\\КЛЮЧ\\Ÿ", 0, KEY_ALL_ACCESS, &same),
            ERROR_SUCCESS);
  HKEY parent = Create(HKEY_CURRENT_USER, u"SOFTWARE\\ärger");
  EXPECT_EQ(SubKeys(parent), std::vector<std::u16string>{u"Ключ"});

  // A value keeps the spelling it was made with, whatever spelling rewrites it.
  ASSERT_EQ(Set(same, u"Größe", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
  ASSERT_EQ(Set(same, u"GRÖßE", REG_DWORD, Bytes({2, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(Get(same, u"grösse").status, ERROR_FILE_NOT_FOUND);  // ß has no one-unit capital
  char16_t name[32];
  DWORD nameSize = 32;
  DWORD type = kPoison;
  BYTE data[4];
  DWORD dataSize = sizeof data;
  ASSERT_EQ(RegEnumValueW(same, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, nameSize), u"Größe");
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(RegEnumValueW(same, 1, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_NO_MORE_ITEMS);

  // A name with a lone surrogate comes back unit for unit.
  const char16_t odd[] = {u'a', 0xD800, u'b', 0};
  HKEY oddKey = Create(parent, odd);
  EXPECT_EQ(SubKeys(parent), (std::vector<std::u16string>{odd, u"Ключ"}));
  for (HKEY k : {same, parent, oddKey}) RegCloseKey(k);
}

TEST_F(RegistryTest, EnumerationIsSortedWithoutCaseAndReportsShortBuffers) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta"}) {
    RegCloseKey(Create(key, name));
    ASSERT_EQ(Set(key, name, REG_SZ, Sz(name)), ERROR_SUCCESS);
  }
  EXPECT_EQ(SubKeys(key), (std::vector<std::u16string>{u"Alpha", u"beta", u"Delta", u"gamma"}));

  // Key names: the size counts the terminator going in, not coming out.
  char16_t name[8];
  std::fill(std::begin(name), std::end(name), u'\xcccc');
  DWORD size = 5;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(name[0], u'\xcccc');
  size = 6;
  DWORD fileTime[2] = {kPoison, kPoison};
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, fileTime), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::u16string(name), u"Alpha");
  EXPECT_GT(fileTime[1], 0x01d00000u);  // after 2015 in ticks since 1601

  // Values: a short data buffer still gives the name, type and needed size.
  DWORD nameSize = 8, type = kPoison, dataSize = 4;
  BYTE data[4];
  EXPECT_EQ(RegEnumValueW(key, 2, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(std::u16string(name), u"Delta");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(dataSize, 12u);
  nameSize = 8;
  EXPECT_EQ(RegEnumValueW(key, 4, name, &nameSize, nullptr, &type, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  DWORD subKeys = kPoison, maxSubKey = kPoison, values = kPoison, maxName = kPoison, maxData = kPoison;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 4u);
  EXPECT_EQ(maxSubKey, 5u);
  EXPECT_EQ(values, 4u);
  EXPECT_EQ(maxName, 5u);
  EXPECT_EQ(maxData, 12u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletingKeysAndWhatTheirHandlesAnswerAfterwards) {
  HKEY top = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  HKEY child = Create(top, u"child\\grandchild");
  ASSERT_EQ(Set(child, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(top, u"child"), ERROR_ACCESS_DENIED);  // it has a subkey
  EXPECT_EQ(RegDeleteKeyW(top, u"nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(top, u"CHILD\\Grandchild"), ERROR_SUCCESS);
  EXPECT_EQ(Get(child, u"v").status, ERROR_KEY_DELETED);
  EXPECT_EQ(Set(child, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_KEY_DELETED);

  // A key made again under the old name is a new key; the old handle stays dead.
  RegCloseKey(Create(top, u"child\\grandchild"));
  EXPECT_EQ(Get(child, u"v").status, ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

  // The tree deletion: with a subkey it removes that key, without one it empties the key.
  ASSERT_EQ(Set(top, u"kept?", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(top, u"child"), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(top), std::vector<std::u16string>{});
  RegCloseKey(Create(top, u"again\\and again"));
  EXPECT_EQ(RegDeleteTreeW(top, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(top), std::vector<std::u16string>{});
  EXPECT_EQ(Get(top, u"kept?").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Set(top, u"alive", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(top, u"missing"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(top);
}

TEST_F(RegistryTest, HandlesAndAccessRights) {
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Get(bogus, u"v").status, ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

  RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\orbtest"));
  HKEY reader = kPoisonKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  EXPECT_EQ(Set(reader, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_ACCESS_DENIED);
  HKEY sub = kPoisonKey;
  EXPECT_EQ(RegCreateKeyExW(reader, u"sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);

  HKEY writer = kPoisonKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_SET_VALUE, &writer),
            ERROR_SUCCESS);
  EXPECT_EQ(Set(writer, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
  EXPECT_EQ(Get(writer, u"v").status, ERROR_ACCESS_DENIED);
  RegCloseKey(writer);
}

TEST_F(RegistryTest, ClassesRootAndUsersMapOntoTheTwoHives) {
  HKEY cls = Create(HKEY_CLASSES_ROOT, u".orb");
  ASSERT_EQ(Set(cls, nullptr, REG_SZ, Sz(u"Orbweave.Project")), ERROR_SUCCESS);
  HKEY machine = kPoisonKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.ORB", 0, KEY_READ, &machine),
            ERROR_SUCCESS);
  EXPECT_EQ(Get(machine, nullptr).data, Sz(u"Orbweave.Project"));
  EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT), std::vector<std::u16string>{u".orb"});

  HKEY user = Create(HKEY_USERS, u".default\\Software\\orbtest");
  ASSERT_EQ(Set(user, u"v", REG_DWORD, Bytes({5, 0, 0, 0})), ERROR_SUCCESS);
  HKEY current = kPoisonKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_READ, &current),
            ERROR_SUCCESS);
  EXPECT_EQ(Get(current, u"v").data, Bytes({5, 0, 0, 0}));
  EXPECT_EQ(SubKeys(HKEY_USERS), std::vector<std::u16string>{u".DEFAULT"});
  HKEY other = kPoisonKey;
  EXPECT_EQ(RegCreateKeyExW(HKEY_USERS, u"S-1-5-18", 0, nullptr, 0, KEY_WRITE, nullptr, &other, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, u"S-1-5-18", 0, KEY_READ, &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Set(HKEY_USERS, u"v", REG_DWORD, Bytes({5, 0, 0, 0})), ERROR_ACCESS_DENIED);
  for (HKEY k : {cls, machine, user, current}) RegCloseKey(k);
}

TEST_F(RegistryTest, ReadOnlyHiveRefusesWritesAndStillReads) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat");
  ASSERT_EQ(Set(key, u"Version", REG_SZ, Sz(u"winxp")), ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string hive = folder_ + "/machine.db";
  ASSERT_EQ(chmod(hive.c_str(), 0444), 0);

  // Once while the hive is open for writing, once opened afresh read-only in
  // a read-only folder.
  for (bool reopen : {false, true}) {
    SCOPED_TRACE(reopen ? "reopened" : "open");
    if (reopen) {
      ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
      compat::win32::ResetRegistryForTests();
    }
    HKEY denied = kPoisonKey;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\New", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &denied, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(denied, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", 0, KEY_WRITE, &denied),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software"), ERROR_ACCESS_DENIED);

    HKEY reader = kPoisonKey;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", 0, nullptr, 0, KEY_READ,
                              nullptr, &reader, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(reader, u"Version").data, Sz(u"winxp"));
    RegCloseKey(reader);
    // The user hive beside it is unaffected until its folder turns read-only.
    EXPECT_EQ(Set(HKEY_CURRENT_USER, u"v", REG_DWORD, Bytes({1, 0, 0, 0})),
              reopen ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
  }
  EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE), std::vector<std::u16string>{u"Software"});
}

TEST_F(RegistryTest, MissingHiveInReadOnlyFolderReadsEmpty) {
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  // Only the skeleton every hive starts with.
  EXPECT_EQ(SubKeys(HKEY_CURRENT_USER), std::vector<std::u16string>{u"Software"});
  HKEY key = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs::exists(folder_ + "/user.db"));
}

TEST_F(RegistryTest, ForeignHiveFileIsReportedAndLeftAlone) {
  const std::string junk(5000, 'x');
  testing_support::WriteFile(folder_ + "/user.db", junk);
  HKEY key = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Set(HKEY_CURRENT_USER, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_BADDB);
  EXPECT_EQ(testing_support::ReadFile(folder_ + "/user.db"), junk);
  // The machine hive beside it is unaffected.
  EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);
}

TEST_F(RegistryTest, TwoProcessesShareAHiveAndKeepWhatTheyCommitted) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  constexpr int kWrites = 100;
  auto writeMany = [](HKEY target, char16_t prefix) {
    int failures = 0;
    for (int i = 0; i < kWrites; ++i) {
      const std::u16string name = std::u16string(1, prefix) + char16_t(u'0' + i / 10) + char16_t(u'0' + i % 10);
      const BYTE data[4] = {static_cast<BYTE>(i), 0, 0, 0};
      if (RegSetValueExW(target, name.c_str(), 0, REG_DWORD, data, 4) != ERROR_SUCCESS) ++failures;
    }
    return failures;
  };

  // The child writes through the handle it inherited, then dies without
  // closing anything; the parent writes at the same time.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int failures = writeMany(key, u'c');
    if (failures != 0) _exit(1);
    raise(SIGKILL);
  }
  EXPECT_EQ(writeMany(key, u'p'), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child failed to write";

  compat::win32::ResetRegistryForTests();
  RegCloseKey(key);
  key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kWrites);
  EXPECT_EQ(Get(key, u"c99").data, Bytes({99, 0, 0, 0}));
  RegCloseKey(key);
}

TEST_F(RegistryTest, HiveFolderFollowsTheEnvironment) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  ASSERT_EQ(Set(key, u"v", REG_DWORD, Bytes({1, 0, 0, 0})), ERROR_SUCCESS);

  const std::string other = folder_ + "/other";
  setenv("ORBWEAVE_PREFIX", other.c_str(), 1);
  EXPECT_EQ(compat::win32::HiveFolder(), other);
  EXPECT_EQ(Get(key, u"v").status, ERROR_KEY_DELETED);  // the key belongs to the other folder
  HKEY missing = kPoisonKey;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(fs::exists(other + "/user.db"));  // the folder is made on first use
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  setenv("ORBWEAVE_PREFIX", folder_.c_str(), 1);
  key = Create(HKEY_CURRENT_USER, u"Software\\orbtest");
  EXPECT_EQ(Get(key, u"v").status, ERROR_SUCCESS);
  RegCloseKey(key);

  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  unsetenv("ORBWEAVE_PREFIX");
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(compat::win32::HiveFolder(), "/xdg/orbweave/registry");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(compat::win32::HiveFolder(), "/home/ann/.config/orbweave/registry");
  setenv("HOME", home.c_str(), 1);
  setenv("ORBWEAVE_PREFIX", folder_.c_str(), 1);
}

}  // namespace
