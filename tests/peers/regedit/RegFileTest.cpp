// Registry files: round trips in both formats, exact text and wrapping, bad files, the program.
#include "peers/regedit/RegFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Registry.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using Kind = regfile::Loss::Kind;
using testing::HasSubstr;
using testing::ThrowsMessage;
using testing_support::SetRegValue;

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
    if (nameSize == 0) continue;  // a damaged hive's nameless key opens its parent again
    compat::win32::ScopedKey sub;
    ASSERT_EQ(RegOpenKeyExW(key, name, 0, KEY_READ, sub.Receive()), ERROR_SUCCESS);
    Take(sub.Get(), path + u"\\" + std::u16string(name, nameSize), snapshot);
  }
}

Snapshot TakeSubtree(HKEY root, const char16_t* path) {
  Snapshot snapshot;
  compat::win32::ScopedKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS) Take(key.Get(), u"", &snapshot);
  return snapshot;
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
  const testing_support::TempFolder& folder_ = folder();
};

TEST_F(RegFileTest, ExportThenImportIntoAnEmptyRegistryGivesTheSameValues) {
  // Below Software\rt: key, value name, value.
  const std::tuple<const char16_t*, const char16_t*, Value> values[] = {
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
      {u"", u"binary", {REG_BINARY, std::vector<BYTE>(200, 0xab)}},
      {u"", u"none", {REG_NONE, {}}},
      {u"", u"big type", {0x12345, {9}}},
      {u"\\sub\\deeper", u"ÿ", {REG_SZ, Sz(u"Ключ")}},
      {u"\\Ключ", u"x", {REG_DWORD, {1, 0, 0, 0}}},
  };
  for (const auto& [key, name, value] : values)
    SetRegValue(HKEY_CURRENT_USER, u"Software\\rt" + std::u16string(key), name, value.type, value.data);
  Import("REGEDIT4\n[HKCU\\Software\\rt\\empty]");
  const Snapshot original = TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt");
  ASSERT_EQ(original.size(), 5u);

  for (regfile::Format format : {regfile::Format::kRegedit4, regfile::Format::kVersion5}) {
    const bool ansi = format == regfile::Format::kRegedit4;
    SCOPED_TRACE(ansi ? "REGEDIT4" : "5.00");
    UsePrefix("a");
    std::vector<regfile::Loss> losses;
    const std::string file = regfile::Export(u"HKCU\\Software\\rt", format, &losses);
    EXPECT_EQ(losses, std::vector<regfile::Loss>{});
    UsePrefix(ansi ? "from4" : "from5");
    ASSERT_TRUE(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt").empty());
    Import(file);
    EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt"), original);
  }
}

// A damaged hive can hold a key without a name; no call makes one.
// The registry's own SQLite is another copy, which would not see this one's
// locks: its connections are closed first.
void AddNamelessKey(const std::string& hive, const char* parent) {
  compat::win32::ResetRegistryForTests();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(hive.c_str(), &db), SQLITE_OK);
  const std::string sql = std::string("INSERT INTO keys(parent, name, fold, written) ") +
                          "SELECT id, '', x'', 0 FROM keys WHERE name = '" + parent + "'";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST_F(RegFileTest, ExportNamesWhatTheFormatCannotHold) {
  const char16_t lone[] = {u'x', 0xD800, 0};
  SetRegValue(HKEY_CURRENT_USER, u"Software\\rt", u"odd", REG_SZ, {'a', 0, 'b'});
  SetRegValue(HKEY_CURRENT_USER, u"Software\\rt", lone, REG_DWORD, {1, 0, 0, 0});
  SetRegValue(HKEY_CURRENT_USER, u"Software\\rt", u"two\r\nlines", REG_DWORD, {2, 0, 0, 0});
  SetRegValue(HKEY_CURRENT_USER, u"Software\\rt\\Ω", u"", REG_DWORD, {3, 0, 0, 0});
  AddNamelessKey(folder_ / "a/user.db", "Ω");
  const char16_t loneKey[] = {u'k', 0xDC00, 0};
  SetRegValue(HKEY_CURRENT_USER, std::u16string(u"Software\\rt\\") + loneKey, u"", REG_DWORD, {4, 0, 0, 0});
  const std::u16string rt = u"HKEY_CURRENT_USER\\Software\\rt";
  const regfile::Loss omittedValue{Kind::kOmittedValue, rt, u"two\r\nlines"};
  const regfile::Loss omittedKey{Kind::kOmittedKey, rt + u"\\Ω", u""};
  // REGEDIT4 writes what it lacks as well as it can and says so; values and subkeys come in the hive's order.
  std::vector<regfile::Loss> losses;
  regfile::Export(u"HKCU\\Software\\rt", regfile::Format::kRegedit4, &losses);
  EXPECT_EQ(losses, (std::vector<regfile::Loss>{{Kind::kInexactValue, rt, u"odd"},
                                                omittedValue,
                                                {Kind::kInexactValue, rt, lone},
                                                {Kind::kInexactKey, rt + u"\\" + loneKey, u""},
                                                omittedKey}));
  // Version 5.00 holds everything exactly but names with line breaks.
  losses.clear();
  const std::string file = regfile::Export(u"HKCU\\Software\\rt", regfile::Format::kVersion5, &losses);
  EXPECT_EQ(losses, (std::vector<regfile::Loss>{omittedValue, omittedKey}));
  Snapshot expected = TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt");
  expected[u""].erase(u"two\r\nlines");
  UsePrefix("b");
  Import(file);
  EXPECT_EQ(TakeSubtree(HKEY_CURRENT_USER, u"Software\\rt"), expected);
}

TEST_F(RegFileTest, ParsedChangesWriteBackAsTheyWere) {
  const std::string text =
      "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\gone]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\x]\r\n\"drop\"=-\r\n@=-\r\n\"v\"=dword:00000001\r\n\"e\"=\"\"\r\n\r\n";
  EXPECT_EQ(regfile::Write(regfile::Parse(regfile::DecodeFile(text))), text);
  // Deletions of values a file cannot name exactly, or at all.
  regfile::Document document = regfile::Parse(regfile::DecodeFile(text));
  const char16_t lone[] = {u'x', 0xD800, 0};
  document.changes[2].name = lone;
  document.changes[3].name = u"a\nb";
  std::vector<regfile::Loss> losses;
  EXPECT_EQ(regfile::Write(document, &losses).find("a\nb"), std::string::npos);
  const std::u16string x = u"HKEY_LOCAL_MACHINE\\Software\\x";
  EXPECT_EQ(losses,
            (std::vector<regfile::Loss>{{Kind::kInexactValue, x, lone}, {Kind::kOmittedValue, x, u"a\nb"}}));
}

// Hex lines hold as many bytes as fit in 78 columns with their commas; the continuing
// backslash may take column 79, continuation lines start with two blanks.
TEST_F(RegFileTest, HexLinesWrapAtTheExactColumn) {
  // The name's length (a line starts with "name"=hex:, name + 7 columns), the
  // value's bytes, and how many of them each line holds.
  const std::tuple<size_t, size_t, std::vector<size_t>> cases[] = {
      {1, 30, {23, 7}},        // 8 + 23 * 3 = 77
      {62, 28, {3, 25}},       // 69 + 9 = 78: the first line full to the column
      {63, 28, {2, 25, 1}},    // 70 + 9 = 79 would pass it
      {69, 26, {0, 25, 1}},    // 76: not even one byte fits after the head
      {63, 3, {2, 1}},         // the last byte, without a comma, wraps alike
  };
  for (const auto& [nameLength, count, expected] : cases) {
    SCOPED_TRACE(nameLength);
    using enum regfile::Change::Kind;
    const regfile::Change key{kCreateKey, HKEY_CURRENT_USER, u"w", {}, REG_NONE, {}, 0};
    const regfile::Change value{kSetValue,  HKEY_CURRENT_USER, u"w", std::u16string(nameLength, u'n'),
                                REG_BINARY, std::vector<BYTE>(count, 0xa5), 0};
    const std::string file = regfile::Write({regfile::Format::kRegedit4, {key, value}});
    const size_t start = file.find("]\r\n") + 3;
    const std::string text = file.substr(start, file.find("\r\n\r\n", start) - start);
    std::vector<size_t> perLine;
    for (size_t at = 0; at <= text.size();) {
      const size_t end = std::min(text.find("\r\n", at), text.size());
      const std::string line = text.substr(at, end - at);
      EXPECT_LE(line.size(), 79u) << line;
      const size_t bytes = line.find(at == 0 ? "hex:" : "  ") + (at == 0 ? 4 : 2);
      perLine.push_back((line.size() - bytes + 1) / 3);  // "a5," each, the last without a comma
      at = end + 2;
    }
    EXPECT_EQ(perLine, expected) << text;
    EXPECT_EQ(regfile::Parse(regfile::DecodeFile(file)).changes.at(1).data, value.data);  // reads back
  }
}

// Deleting what is not there is no failure.
TEST_F(RegFileTest, ImportsAVersion5Utf16FileWithDeletions) {
  SetRegValue(HKEY_LOCAL_MACHINE, u"Software\\v5", u"old", REG_DWORD, {1, 0, 0, 0});
  SetRegValue(HKEY_LOCAL_MACHINE, u"Software\\v5\\gone\\deep", u"v", REG_DWORD, {1, 0, 0, 0});
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"; comments and key lines never go on: \\\r\n"
      u"[HKLM\\Software\\v5\\]\r\n"
      u"\"name\"=\"Ωmega \\\\ \\\"q\\\"\"\r\n"
      u"\"expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      u"\"list\"=hex(7):61,00,00,00,\\\r\n"
      u"    62,00,\\\r\n"
      u"    0,0,0,0\r\n"
      u"\"big\"=hex(b):ff,00,00,00,00,00,00,00\r\n"
      u"\"n\" = dword:7\r\n"
      u"\"old\"=-\n"
      u"\"never there\"=-\n"
      u"[-HKLM\\Software\\v5\\GONE]\n"
      u"[-HKLM\\Software\\never there]\n"
      u"[HKEY_USERS\\.DEFAULT\\Software\\v5]\n@=\"user\"";
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

std::string Levels(int count, const std::string& name = "k") {
  std::string path;
  for (int i = 0; i < count; ++i) path += "\\" + name;
  return path;
}

TEST_F(RegFileTest, FilesAreHeldToTheFormatAndToWindowsLimits) {
  const std::string k255(255, 'k'), v16383(16383, 'v');
  // The file's body and its error message; "" for a file that is taken.
  const std::pair<std::string, std::string> cases[] = {
      {"\"v\"=\"x\"", "line 2: a value must follow the key"},
      {"[HKEY_NOWHERE\\x]", "line 2: unknown root key \"HKEY_NOWHERE\""},
      {"[HKCU\\x", "line 2: a key line must end with ]"},
      {"[-HKCU]", "line 2: a root key cannot be deleted"},
      {"[HKCU\\x]\n\"v\"=dword:123456789", "line 3: dword:"},
      {"[HKCU\\x]\n\"v\"=hex:01,zz", "line 3: hex data must be bytes of one or two hexadecimal digits"},
      {"[HKCU\\x]\n\"v\"=hex:01,123", "line 3: hex data"},
      {"[HKCU\\x]\n\"v\"=hex:01,,02", "line 3: hex data"},
      {"[HKCU\\x]\n\"v\"=hex:1,AF,4", ""},
      {"[HKCU\\x]\n\"v\"=hex(q):01", "line 3: hex(type)"},
      {"[HKCU\\x]\n\"v\"=\"open", "line 3: a quoted string has no closing"},
      {"[HKCU\\x]\n\"v\"=\"a\" b", "line 3: unexpected text"},
      {"[HKCU\\x]\n\"v\"=banana", "line 3: unknown value data"},
      {"[HKCU\\x]\nv=1", "line 3: expected a key in brackets"},
      {"[HKCU\\x]\n\"v\"\"x\"", "line 3: expected ="},
      {"[HKCU\\x]\n\"v\"=-\n[-HKCU\\x]\n\"w\"=dword:1", "line 5: a value must follow"},
      // A NUL would cut the name short.
      {std::string("[HKCU\\x]\n\"a\0b\"=dword:1", 23), "line 3: a value name must not hold a NUL"},
      {std::string("[HKCU\\x\0y]", 10), "line 2: a key name must not hold a NUL"},
      // Windows' limits: key names of 255 characters, value names of 16,383,
      // 512 levels below the root; one trailing backslash is no level.
      {"[HKCU\\" + k255 + "]\n\"" + v16383 + "\"=dword:1", ""},
      {"\n[HKCU\\" + k255 + "k]", "line 3: a key name is longer than 255 characters"},
      {"[HKCU\\x]\n\"" + v16383 + "v\"=dword:1", "line 3: a value name is longer than 16383 characters"},
      {"[HKCU" + Levels(512) + "\\]", ""},
      {"[-HKCU" + Levels(513) + "]", "line 2: the key is more than 512 levels deep"},
      {"[HKCU\\a\\\\b]", "line 2: a key name must not be empty"},
  };
  for (const auto& [body, message] : cases) {
    SCOPED_TRACE(body.substr(0, 80));
    const auto import = [file = "REGEDIT4\n" + body] { Import(file); };
    if (message.empty()) EXPECT_NO_THROW(import());
    else EXPECT_THAT(import, ThrowsMessage<regfile::Error>(HasSubstr(message)));
  }
  Snapshot taken = TakeSubtree(HKEY_CURRENT_USER, u"x");
  EXPECT_EQ(taken[u""][u"v"], (Value{REG_BINARY, {0x01, 0xAF, 0x04}}));
  // A file that fails changes nothing: the whole file is read before anything changes.
  EXPECT_THROW(Import("REGEDIT4\n[HKCU\\Software\\sentinel]\n\"ok\"=dword:1\n\"v\"=banana\n"),
               regfile::Error);
  // So is a change the registry refuses (another user's key): what came before it is undone.
  EXPECT_THROW(Import("REGEDIT4\n[HKCU\\Software\\sentinel]\n\"ok\"=dword:1\n[HKEY_USERS\\other\\x]\n"),
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
  // On a small stack: a deep tree must not take one call per level.
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-c", "ulimit -s 256 && exec \"$0\" \"$@\"", program});
    return testing_support::Run(ProgramRun{"/bin/sh", std::move(args), env, {}, std::chrono::seconds(60)});
  };
  testing_support::WriteFile(folder_ / "in.reg",
                             "REGEDIT4\r\n[HKCU\\Software\\p]\r\n@=\"say \\\"hi\\\" \\\\o/\"\r\n"
                             "\"v\"=dword:DeadBeef\r\n"
                             "[HKCU\\Software\\p\\Sub]\r\n\"m\"=hex(7):61,00,62,00,00\r\n");
  testing_support::WriteFile(folder_ / "bad.reg", "REGEDIT4\r\n\"v\"=dword:1\r\n");
  const std::string pipe = folder_ / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::filesystem::create_directory(folder_ / "folder");

  EXPECT_EQ(run({"/s", folder_ / "in.reg"}).exitCode, 0);
  // The file name may come in Windows form, as the data-store handlers give it.
  const std::u16string windowsOut = compat::win32::WindowsPath(folder_ / "out.reg");
  EXPECT_EQ(run({"/a", std::string(windowsOut.begin(), windowsOut.end()), "hkcu\\Software\\p"}).exitCode, 0);
  EXPECT_EQ(testing_support::ReadFile(folder_ / "out.reg"),
            "REGEDIT4\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\p]\r\n@=\"say \\\"hi\\\" \\\\o/\"\r\n\"v\"=dword:deadbeef\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\p\\Sub]\r\n\"m\"=hex(7):61,00,62,00,00\r\n\r\n");

  // Errors: exit status 1 and a message naming the file (and line); only
  // regular files are read or written, without blocking on a pipe.
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"/a", folder_ / "none.reg", "HKCU\\Software\\missing"},
       "no such key: HKEY_CURRENT_USER\\Software\\missing"},
      {{"/s", folder_ / "bad.reg"}, (folder_ / "bad.reg") + ": line 2: a value must follow"},
      {{"/s", folder_ / "none.reg"}, (folder_ / "none.reg") + ": cannot open"},
      {{"/s", folder_ / "folder"}, (folder_ / "folder") + ": is a folder"},
      {{"/s", "/dev/zero"}, "/dev/zero: is a character device"},
      {{"/s", pipe}, pipe + ": is a named pipe"},
      {{"/e", folder_ / "folder", "HKCU\\Software\\p"}, (folder_ / "folder") + ": is a folder"},
  };
  for (const auto& [args, message] : failures) {
    SCOPED_TRACE(args[1]);
    const auto result = run(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("regedit: " + message), std::string::npos) << result.err;
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "folder"));

  // A value a file cannot hold: the rest is written, the loss named.
  const std::string cut = folder_ / "cut.reg";
  UsePrefix("program");
  SetRegValue(HKEY_CURRENT_USER, u"Software\\p", u"a line\nbreak\x01", REG_DWORD, {1, 0, 0, 0});
  const auto incomplete = run({"/e", cut, "HKCU\\Software\\p"});
  EXPECT_EQ(incomplete.exitCode, 1);
  EXPECT_NE(incomplete.err.find(cut + ": value \"a line\\nbreak\\x01\" of HKEY_CURRENT_USER\\Software\\p "
                                      "left out"),
            std::string::npos)
      << incomplete.err;
  const std::string v5Dword("\"\0v\0\"\0=\0d\0w\0o\0r\0d\0", 18);  // the rest of the key is there
  EXPECT_NE(testing_support::ReadFile(cut).find(v5Dword), std::string::npos);
  EXPECT_EQ(run({}).exitCode, 2);

  // The hive has no depth limit of its own (files are held to Windows' 512 levels).
  std::u16string deep = u"Software\\deep";
  for (int i = 0; i < 3000; ++i) deep += u"\\k";
  SetRegValue(HKEY_CURRENT_USER, deep, u"v", REG_DWORD, {7, 0, 0, 0});
  const std::string deepFile = folder_ / "deep.reg";
  EXPECT_EQ(run({"/a", deepFile, "HKCU\\Software\\deep"}).exitCode, 0);
  const std::string exported = testing_support::ReadFile(deepFile);
  EXPECT_TRUE(exported.ends_with("[HKEY_CURRENT_USER\\" + std::string(deep.begin(), deep.end()) +
                                 "]\r\n\"v\"=dword:00000007\r\n\r\n"));
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '['), 3001);
}

}  // namespace
