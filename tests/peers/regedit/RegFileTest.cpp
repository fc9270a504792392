// Registry files: export and import round trips in both formats, the exact
// REGEDIT4 text, UTF-16 files, deletions, bad files, and the regedit program.
#include "peers/regedit/RegFile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::TempFolder;

// A text value's data: UTF-16LE units, terminated unless asked otherwise.
std::vector<BYTE> Sz(std::u16string text, bool terminated = true) {
  const std::string bytes = testing_support::Utf16Bytes(terminated ? text + u'\0' : text, false, false);
  return {bytes.begin(), bytes.end()};
}

struct Value {
  DWORD type;
  std::vector<BYTE> data;
  bool operator==(const Value&) const = default;
};
// Every key of a subtree (by path) with its values (by name).
using Snapshot = std::map<std::u16string, std::map<std::u16string, Value>>;

void Take(HKEY key, const std::u16string& path, Snapshot* snapshot) {
  auto& values = (*snapshot)[path];
  char16_t name[512];
  std::vector<BYTE> data(4096);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = 512, dataSize = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS)
      break;
    values[std::u16string(name, nameSize)] = {type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)};
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = 512;
    if (RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sub = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, name, 0, KEY_READ, &sub), ERROR_SUCCESS);
    Take(sub, path + u"\\" + std::u16string(name, nameSize), snapshot);
    RegCloseKey(sub);
  }
}

Snapshot TakeSubtree(HKEY root, const char16_t* path) {
  Snapshot snapshot;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return snapshot;
  Take(key, u"", &snapshot);
  RegCloseKey(key);
  return snapshot;
}

void Store(HKEY root, const std::u16string& path, const std::u16string& name, const Value& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void Import(const std::string& bytes) { regfile::Apply(regfile::Parse(regfile::DecodeFile(bytes))); }

class RegFileTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    // REGEDIT4 text follows the ANSI code page, which follows the locale.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    UsePrefix("a");
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
  void UsePrefix(const std::string& name) { SetEnv("ORBWEAVE_PREFIX", folder_ / name); }
  const TempFolder& folder_ = folder();
};

TEST_F(RegFileTest, ExportThenImportIntoAnEmptyRegistryGivesTheSameValues) {
  const std::vector<BYTE> longBinary(200, 0xab);
  const struct {
    const char16_t* key;
    const char16_t* name;
    Value value;
  } values[] = {
      {u"", u"", {REG_SZ, Sz(u"default")}},
      {u"", u"text", {REG_SZ, Sz(u"Grüße \"quoted\" C:\\dir\\")}},
      {u"", u"na\"me\\", {REG_SZ, Sz(u"")}},
      {u"", u"unterminated", {REG_SZ, Sz(u"abc", false)}},
      {u"", u"two lines", {REG_SZ, Sz(u"a\r\nb")}},
      {u"", u"zero inside", {REG_SZ, Sz(std::u16string(u"a\0b", 3))}},
      {u"", u"expand", {REG_EXPAND_SZ, Sz(u"%HOME%\\x")}},
      {u"", u"multi", {REG_MULTI_SZ, Sz(std::u16string(u"one\0two\0", 8))}},
      {u"", u"dword", {REG_DWORD, {0x2a, 0, 0, 0x80}}},
      {u"", u"short dword", {REG_DWORD, {1, 2, 3}}},
      {u"", u"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
      {u"", u"binary", {REG_BINARY, longBinary}},
      {u"", u"empty binary", {REG_BINARY, {}}},
      {u"", u"none", {REG_NONE, {}}},
      {u"", u"big type", {0x12345, {9}}},
      {u"\\sub\\deeper", u"ÿ", {REG_SZ, Sz(u"Ключ")}},
      {u"\\Ключ", u"x", {REG_DWORD, {1, 0, 0, 0}}},
  };
  for (const auto& v : values) Store(HKEY_CURRENT_USER, std::u16string(u"Software\\rt") + v.key, v.name, v.value);
  HKEY empty = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\rt\\empty", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &empty, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(empty);
  const Snapshot original = TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt");
  ASSERT_EQ(original.size(), 5u);

  for (regfile::Format format : {regfile::Format::kRegedit4, regfile::Format::kVersion5}) {
    const bool ansi = format == regfile::Format::kRegedit4;
    SCOPED_TRACE(ansi ? "REGEDIT4" : "5.00");
    UsePrefix("a");
    std::vector<std::u16string> lossy;
    const std::string file = regfile::Export(u"HKCU\\Software\\rt", format, &lossy);
    EXPECT_EQ(lossy, std::vector<std::u16string>{});
    UsePrefix(ansi ? "from4" : "from5");
    ASSERT_TRUE(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt").empty());
    Import(file);
    EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt"), original);
  }
}

TEST_F(RegFileTest, Regedit4ReportsWhatItCannotHoldExactly) {
  Store(HKEY_CURRENT_USER, u"Software\\rt", u"odd", {REG_SZ, {'a', 0, 'b'}});
  const char16_t lone[] = {u'x', 0xD800, 0};
  Store(HKEY_CURRENT_USER, u"Software\\rt", lone, {REG_DWORD, {1, 0, 0, 0}});
  std::vector<std::u16string> lossy;
  regfile::Export(u"HKEY_CURRENT_USER\\Software\\rt", regfile::Format::kRegedit4, &lossy);
  EXPECT_EQ(lossy, (std::vector<std::u16string>{u"odd", lone}));
  // Version 5.00 holds both exactly.
  lossy.clear();
  const std::string file = regfile::Export(u"HKCU\\Software\\rt", regfile::Format::kVersion5, &lossy);
  EXPECT_TRUE(lossy.empty());
  const Snapshot original = TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt");
  UsePrefix("b");
  Import(file);
  EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt"), original);
}

TEST_F(RegFileTest, Regedit4TextIsExact) {
  Store(HKEY_LOCAL_MACHINE, u"Software\\x", u"b", {REG_BINARY, std::vector<BYTE>(30, 0x0f)});
  Store(HKEY_LOCAL_MACHINE, u"Software\\x", u"", {REG_SZ, Sz(u"say \"hi\" \\o/")});
  Store(HKEY_LOCAL_MACHINE, u"Software\\x", u"c", {REG_DWORD, {0xef, 0xbe, 0xad, 0xde}});
  Store(HKEY_LOCAL_MACHINE, u"Software\\x\\Sub", u"m", {REG_MULTI_SZ, Sz(std::u16string(u"é\0", 2))});
  EXPECT_EQ(regfile::Export(u"hklm\\Software\\x", regfile::Format::kRegedit4),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\x]\r\n"
            "@=\"say \\\"hi\\\" \\\\o/\"\r\n"
            "\"b\"=hex:0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,\\\r\n"
            "  0f,0f,0f,0f,0f,0f,0f\r\n"
            "\"c\"=dword:deadbeef\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\x\\Sub]\r\n"
            "\"m\"=hex(7):c3,a9,00,00\r\n"
            "\r\n");
}

TEST_F(RegFileTest, ImportsAVersion5Utf16File) {
  Store(HKEY_LOCAL_MACHINE, u"Software\\v5", u"old", {REG_DWORD, {1, 0, 0, 0}});
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"; set up by the installer\r\n"
      u"[HKLM\\Software\\v5]\r\n"
      u"\"name\"=\"Ωmega \\\\ \\\"q\\\"\"\r\n"
      u"\"expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      u"\"list\"=hex(7):61,00,00,00,\\\r\n"
      u"    62,00,00,00,00,00\r\n"
      u"\"big\"=hex(b):ff,00,00,00,00,00,00,00\r\n"
      u"\"n\" = dword:7\r\n"
      u"\"old\"=-\n"
      u"[HKEY_USERS\\.DEFAULT\\Software\\v5]\n"
      u"@=\"user\"";
  Import(testing_support::Utf16Bytes(text, false, true));
  Snapshot expected;
  expected[u""] = {
      {u"name", {REG_SZ, Sz(u"Ωmega \\ \"q\"")}},
      {u"expand", {REG_EXPAND_SZ, Sz(u"%A%")}},
      {u"list", {REG_MULTI_SZ, Sz(std::u16string(u"a\0b\0", 4))}},
      {u"big", {REG_QWORD, {0xff, 0, 0, 0, 0, 0, 0, 0}}},
      {u"n", {REG_DWORD, {7, 0, 0, 0}}},
  };
  EXPECT_EQ(TakeSubtree(HKEY_LOCAL_MACHINE, u"Software\\v5"), expected);
  EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\v5")[u""][u""], (Value{REG_SZ, Sz(u"user")}));
}

TEST_F(RegFileTest, DeletionsRemoveKeysAndValuesAndToleratePriorAbsence) {
  Store(HKEY_CURRENT_USER, u"Software\\d\\gone\\deep", u"v", {REG_DWORD, {1, 0, 0, 0}});
  Store(HKEY_CURRENT_USER, u"Software\\d", u"drop", {REG_DWORD, {1, 0, 0, 0}});
  Store(HKEY_CURRENT_USER, u"Software\\d", u"keep", {REG_DWORD, {2, 0, 0, 0}});
  Import(
      "REGEDIT4\n"
      "[-HKEY_CURRENT_USER\\Software\\d\\GONE]\n"
      "[-HKEY_CURRENT_USER\\Software\\never there]\n"
      "[HKEY_CURRENT_USER\\Software\\d]\n"
      "\"drop\"=-\n"
      "\"never there\"=-\n");
  Snapshot expected;
  expected[u""] = {{u"keep", {REG_DWORD, {2, 0, 0, 0}}}};
  EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\d"), expected);
}

TEST_F(RegFileTest, BadFilesAreRefusedWithTheLineAndChangeNothing) {
  const struct {
    const char* body;
    const char* message;
  } cases[] = {
      {"\"v\"=\"x\"", "line 2: a value must follow the key"},
      {"[HKEY_NOWHERE\\x]", "line 2: unknown root key \"HKEY_NOWHERE\""},
      {"[HKCU\\x", "line 2: a key line must end with ]"},
      {"[-HKCU]", "line 2: a root key cannot be deleted"},
      {"[HKCU\\x]\n\"v\"=dword:123456789", "line 3: dword:"},
      {"[HKCU\\x]\n\"v\"=hex:01,zz", "line 3: hex data"},
      {"[HKCU\\x]\n\"v\"=hex(q):01", "line 3: hex(type)"},
      {"[HKCU\\x]\n\"v\"=\"open", "line 3: a quoted string has no closing"},
      {"[HKCU\\x]\n\"v\"=\"a\" b", "line 3: unexpected text"},
      {"[HKCU\\x]\n\"v\"=banana", "line 3: unknown value data"},
      {"[HKCU\\x]\nv=1", "line 3: expected a key in brackets"},
      {"[HKCU\\x]\n\"v\"\"x\"", "line 3: expected ="},
      {"[HKCU\\x]\n\"v\"=-\n[-HKCU\\x]\n\"w\"=dword:1", "line 5: a value must follow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    try {
      Import(std::string("REGEDIT4\n") + c.body);
      ADD_FAILURE() << "no error";
    } catch (const regfile::Error& error) {
      EXPECT_NE(std::strstr(error.what(), c.message), nullptr) << error.what();
    }
  }
  // The whole file is read before anything changes.
  EXPECT_THROW(Import("REGEDIT4\n[HKCU\\Software\\sentinel]\n\"ok\"=dword:1\n\"v\"=banana\n"),
               regfile::Error);
  EXPECT_THROW(Import("junk\nREGEDIT4\n"), regfile::Error);
  EXPECT_THROW(Import(""), regfile::Error);
  EXPECT_TRUE(TakeSubtree(HKEY_CURRENT_USER, u"Software\\sentinel").empty());
  EXPECT_THROW(regfile::Export(u"HKCU\\Software\\missing", regfile::Format::kRegedit4), regfile::Error);
}

TEST_F(RegFileTest, ProgramImportsExportsAndFailsWithAMessage) {
  using testing_support::ProgramRun;
  const std::string program = testing_support::BuildBin() + "/regedit";
  const std::map<std::string, std::string> env = {{"ORBWEAVE_PREFIX", folder_ / "program"}};
  auto run = [&](std::vector<std::string> args) {
    return testing_support::Run(ProgramRun{program, std::move(args), env, {}, std::chrono::seconds(30)});
  };
  testing_support::WriteFile(folder_ / "in.reg", "REGEDIT4\r\n[HKCU\\Software\\p]\r\n\"v\"=dword:1\r\n");
  testing_support::WriteFile(folder_ / "bad.reg", "REGEDIT4\r\n\"v\"=dword:1\r\n");

  EXPECT_EQ(run({"/s", folder_ / "in.reg"}).exitCode, 0);
  // The file name may come in Windows form, as the data-store handlers give it.
  const std::u16string windowsOut = compat::win32::WindowsPath(folder_ / "out.reg");
  EXPECT_EQ(run({"/a", std::string(windowsOut.begin(), windowsOut.end()), "HKEY_CURRENT_USER\\Software\\p"})
                .exitCode,
            0);
  EXPECT_EQ(testing_support::ReadFile(folder_ / "out.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\p]\r\n\"v\"=dword:00000001\r\n\r\n");

  auto missing = run({"/a", folder_ / "none.reg", "HKCU\\Software\\missing"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("no such key: HKEY_CURRENT_USER\\Software\\missing"), std::string::npos);
  auto bad = run({"/s", folder_ / "bad.reg"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("line 2: a value must follow"), std::string::npos) << bad.err;
  EXPECT_EQ(run({}).exitCode, 2);
}

}  // namespace
