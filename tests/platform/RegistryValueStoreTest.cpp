// The registry value store: value kinds and their exact registry bytes, the
// read rules for each kind, keyless stores, names, deletion and base keys.
#include "platform/win32/RegistryValueStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compat/win32/Registry.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"
#include "tests/platform/PlatformTestSupport.h"

namespace lumo::test {
namespace {

using win32::CRegistryValueStore;

constexpr char16_t kPath[] = u"Software\\orbtest\\store";

std::vector<BYTE> Bytes(const void* data, std::size_t size) {
  const auto* first = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(first, first + size);
}

class RegistryValueStoreTest : public testing_support::IsolatedTest {
 protected:
  P<CRegistryValueStore> Store(ValueStoreFlags flags = kValueStoreRead | kValueStoreWrite, const char16_t* path = kPath) {
    return make<CRegistryValueStore>(HKEY_CURRENT_USER, String(path), flags);
  }
  // The value's registry type and bytes as stored; type REG_NONE with no bytes when missing.
  std::pair<DWORD, std::vector<BYTE>> Raw(const char16_t* name) {
    std::vector<BYTE> data(64, 0xcc);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegGetValueW(HKEY_CURRENT_USER, kPath, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size) != 0)
      return {REG_NONE, {}};
    data.resize(size);
    return {type, data};
  }
  void SetRaw(const char16_t* name, DWORD type, std::vector<BYTE> data) {
    compat::win32::ScopedKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
};

std::vector<std::string> All(const P<IConstEnum>& names) {
  std::vector<std::string> all;
  while (names->hasMore()) all.push_back(ToUTF8(P<IString>::share(cast<IString>(const_cast<IBase*>(names->next().get())))));
  return all;
}

TEST_F(RegistryValueStoreTest, EachKindWritesItsRegistryTypeAndExactBytes) {
  P<CRegistryValueStore> store = Store();
  const double half = 0.5;
  const std::int64_t big = -0x123456789ab;
  P<IMemoryBlock> block = make<CMemoryBlock>();
  block->assign("\x01\x00\xff", 3);
  store->SetString("s", u"ab");
  store->SetInt("i", -2);
  store->SetInt64("q", big);
  store->SetBool("t", true);
  store->SetBool("f", false);
  store->SetDouble("d", half);
  store->SetMemoryBlock("m", block);
  store->SetMemoryBlock("none", nullptr);
  store->SetBinary("b", "xyz", 3);

  const struct {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  } rows[] = {
      {u"s", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {u"i", REG_DWORD, {0xfe, 0xff, 0xff, 0xff}},
      {u"q", REG_QWORD, Bytes(&big, 8)},
      {u"t", REG_DWORD, {1, 0, 0, 0}},
      {u"f", REG_DWORD, {0, 0, 0, 0}},
      {u"d", REG_BINARY, Bytes(&half, 8)},
      {u"m", REG_BINARY, {1, 0, 0xff}},
      {u"none", REG_BINARY, {}},
      {u"b", REG_BINARY, {'x', 'y', 'z'}},
  };
  for (const auto& row : rows) {
    const auto [type, data] = Raw(row.name);
    EXPECT_EQ(type, row.type) << ToUTF8(row.name);
    EXPECT_EQ(data, row.data) << ToUTF8(row.name);
  }

  bool found = false;
  EXPECT_EQ(store->GetString("S", "x", &found), String("ab"));
  EXPECT_TRUE(found);
  // Longer than the first read's buffer: read again at its size.
  const String longText(std::string(1000, 'x').c_str());
  store->SetString("long", longText);
  EXPECT_EQ(store->GetString("long", ""), longText);
  EXPECT_EQ(store->GetInt("i", 0), -2);
  EXPECT_EQ(store->GetInt64("q", 0), big);
  EXPECT_TRUE(store->GetBool("t", false));
  EXPECT_FALSE(store->GetBool("f", true, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(store->GetDouble("d", 0), half);
  const P<IMemoryBlock> read = store->GetBinary("m", nullptr, &found);
  ASSERT_TRUE(read);
  EXPECT_EQ(Bytes(read->getData(), 3), (std::vector<BYTE>{1, 0, 0xff}));
  EXPECT_EQ(store->GetBinary("none", nullptr, &found)->getSize(), 0);
  EXPECT_TRUE(found);
}

TEST_F(RegistryValueStoreTest, FixedSizeReadsNeedTheirTypeAndSize) {
  P<CRegistryValueStore> store = Store();
  store->SetInt("dword", 7);
  store->SetInt64("qword", 7);
  store->SetString("long", u"longer than four bytes");
  store->SetBinary("four", "abcd", 4);
  SetRaw(u"bigendian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 7});

  // A stored value smaller than the buffer, or of another type, is not found.
  bool found = true;
  EXPECT_EQ(store->GetInt64("dword", -1, &found), -1);
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(store->GetDouble("four", 1.5, &found), 1.5);
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(store->GetInt("bigendian", -1, &found), -1);
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(store->GetInt("missing", -1, &found), -1);
  EXPECT_FALSE(found);
  EXPECT_TRUE(store->GetBool("missing", true));

  // One larger than the buffer is the system's more-data failure.
  const std::string moreData = ToUTF8(win32::DescribeSystemError(ERROR_MORE_DATA));
  EXPECT_EQ(TextOf<CError>([&] { store->GetInt("qword", 0); }), moreData);
  EXPECT_EQ(TextOf<CError>([&] { store->GetBool("long", false); }), moreData);
  EXPECT_EQ(TextOf<CError>([&] { store->GetInt64("long", 0); }), moreData);
}

TEST_F(RegistryValueStoreTest, StringsLoseTheirLastUnitAndNeedTwoBytes) {
  P<CRegistryValueStore> store = Store();
  store->SetString("empty", u"");
  SetRaw(u"zero", REG_SZ, {});
  SetRaw(u"one byte", REG_SZ, {'a'});
  SetRaw(u"unterminated", REG_SZ, {'a', 0, 'b', 0});
  SetRaw(u"inner zero", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0});
  SetRaw(u"expandable", REG_EXPAND_SZ, {'a', 0, 0, 0});
  store->SetInt("number", 1);

  const struct {
    const char* name;
    bool found;
    std::u16string text;
  } rows[] = {
      {"empty", true, u""},
      {"zero", false, u"default"},
      {"one byte", false, u"default"},
      {"unterminated", true, u"a"},
      {"inner zero", true, std::u16string(u"a\0b", 3)},
      {"expandable", false, u"default"},
      {"number", false, u"default"},
      {"missing", false, u"default"},
  };
  for (const auto& row : rows) {
    bool found = !row.found;
    const String text = store->GetString(row.name, u"default", &found);
    EXPECT_EQ(found, row.found) << row.name;
    EXPECT_EQ(win32::ToUTF16(text), row.text) << row.name;
  }
  bool found = true;
  EXPECT_FALSE(store->GetBinary("empty", nullptr, &found));
  EXPECT_FALSE(found);
}

TEST_F(RegistryValueStoreTest, WritingCreatesEveryLevelAndReadingLeavesAMissingKeyAlone) {
  EXPECT_FALSE(Store(kValueStoreRead, u"Software\\a\\b\\c")->HasStoreKey());
  {
    compat::win32::ScopedKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\a", 0, KEY_READ, key.Receive()), ERROR_FILE_NOT_FOUND);
  }
  Store(kValueStoreWrite, u"Software\\a\\b\\c")->SetInt("v", 3);
  EXPECT_EQ(Store(kValueStoreRead, u"Software\\a\\b\\c")->GetInt("v", 0), 3);

  P<CRegistryValueStore> parent = Store();
  EXPECT_FALSE(parent->OpenSubStore("sub", kValueStoreRead));
  EXPECT_FALSE(parent->HasKey("sub"));
  P<IValueStore> sub = parent->OpenSubStore("sub\\deeper", kValueStoreWrite);
  ASSERT_TRUE(sub);
  parent = nullptr;  // a sub-store holds a key of its own
  sub->SetString("v", u"kept");
  EXPECT_EQ(Store()->OpenSubStore("sub", kValueStoreRead)->OpenSubStore("deeper", kValueStoreRead)->GetString("v", ""),
            String("kept"));
  EXPECT_TRUE(Store()->HasKey("SUB\\deeper"));
}

TEST_F(RegistryValueStoreTest, AStoreWithoutAKeyReadsNothingAndRefusesChanges) {
  P<CRegistryValueStore> store = Store(kValueStoreRead, u"Software\\nowhere");
  bool found = true;
  EXPECT_EQ(store->GetString("v", u"default", &found), String("default"));
  EXPECT_FALSE(found);
  EXPECT_EQ(store->GetInt("v", 4, &found), 4);
  EXPECT_FALSE(store->GetBinary("v", nullptr, &found));
  EXPECT_FALSE(store->HasValue("v"));
  EXPECT_FALSE(store->HasKey(""));
  EXPECT_TRUE(All(store->GetValueNames()).empty());
  EXPECT_TRUE(All(store->GetKeyNames()).empty());
  EXPECT_FALSE(store->OpenSubStore("sub", kValueStoreRead));

  const std::string denied = ToUTF8(win32::DescribeSystemError(ERROR_ACCESS_DENIED));
  EXPECT_EQ(TextOf<CError>([&] { store->SetInt("v", 1); }), denied);
  EXPECT_EQ(TextOf<CError>([&] { store->OpenSubStore("sub", kValueStoreWrite); }), denied);
  EXPECT_THROW(store->DeleteValue("v"), CFileNotFoundError);
  EXPECT_THROW(store->DeleteKey("sub"), CFileNotFoundError);
}

TEST_F(RegistryValueStoreTest, NamesComeInOrderAndDeletionTakesSubtrees) {
  P<CRegistryValueStore> store = Store();
  const std::string longName(3000, 'n');  // longer than the smallest name buffer
  store->SetInt("b", 1);
  store->SetInt("A", 1);
  store->SetInt(longName.c_str(), 1);
  store->OpenSubStore("k2\\inner", kValueStoreWrite)->SetInt("v", 1);
  store->OpenSubStore("K1", kValueStoreWrite);
  EXPECT_EQ(All(store->GetValueNames()), (std::vector<std::string>{"A", "b", longName}));
  EXPECT_EQ(All(store->GetKeyNames()), (std::vector<std::string>{"K1", "k2"}));
  EXPECT_TRUE(store->HasValue("B"));
  store->SetInt("\xe9t\xe9", 2);  // Latin-1 text names the same value as its UTF-16 form
  EXPECT_EQ(store->GetInt(u"\u00c9T\u00c9", 0), 2);
  store->DeleteValue(u"\u00e9t\u00e9");

  store->DeleteValue("b");
  EXPECT_FALSE(store->HasValue("b"));
  EXPECT_THROW(store->DeleteValue("b"), CFileNotFoundError);
  store->DeleteKey("k2");  // with its subkey and values
  EXPECT_FALSE(store->HasKey("k2"));
  EXPECT_THROW(store->DeleteKey("k2"), CFileNotFoundError);
  EXPECT_EQ(All(store->GetKeyNames()), (std::vector<std::string>{"K1"}));
}

TEST_F(RegistryValueStoreTest, BaseKeysAreLookedUpByTheirExactNames) {
  EXPECT_EQ(win32::LookupBaseKey("HKEY_CURRENT_USER"), HKEY_CURRENT_USER);
  EXPECT_EQ(win32::LookupBaseKey("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(win32::LookupBaseKey("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(win32::LookupBaseKey("HKEY_USERS"), HKEY_USERS);
  for (const char* name : {"hkey_current_user", "HKCU", ""})
    EXPECT_EQ(TextOf<CError>([&] { win32::LookupBaseKey(name); }), std::string("Unknown registry base key: ") + name);
}

}  // namespace
}  // namespace lumo::test
