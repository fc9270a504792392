// The data-store archive: entry names and their counter, saving and loading a
// set, replacing the archive whole, and archives that are not what they claim.
#include <gtest/gtest.h>

#include <filesystem>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <wx/xml/xml.h>
#include <wx/zipstrm.h>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/CryptedFileStream.h"
#include "settings/lapp/Folders.h"
#include "settings/lapp/ZipArchive.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::WindowsPath;

using testing_support::ReadFile;
using testing_support::WriteFile;

// Stores one text under an entry of its own and, on loading, reads it back
// through a file in the reader's temporary folder.
class TextHandler : public lapp::IDataStoreHandler {
 public:
  TextHandler(std::string text, std::vector<std::string>* restored) : text_(std::move(text)), restored_(restored) {}
  void Save(lapp::IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) override {
    if (failSave) throw std::runtime_error("save failed");
    auto* element = new wxXmlNode(&parent, wxXML_ELEMENT_NODE, setName);
    element->AddAttribute("name", name);
    const wxString entry = writer.MakeEntryName("filefolder.", ".");
    element->AddAttribute("destination", entry);
    writer.BeginEntry(entry).WriteAll(text_.data(), text_.size());
  }
  void Load(lapp::IDataLoadManager& reader, const wxXmlNode& element, const wxString&) override {
    const std::u16string file = lapp::WithBackslash(reader.GetTempFolder()) + u"restored";
    reader.ExtractEntry(element.GetAttribute("destination"), file);
    restored_->push_back(ReadFile(*compat::win32::PosixPath(file)));
  }
  void Clean() override {}

  wxString name;
  bool failSave = false;

 private:
  std::string text_;
  std::vector<std::string>* restored_;
};

class ZipArchiveTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("TMPDIR", folder().path()); }

  lapp::HandlerMap Handlers(const std::vector<std::pair<std::string, std::string>>& items) {
    lapp::HandlerMap handlers;
    for (const auto& [name, text] : items) {
      auto handler = std::make_unique<TextHandler>(text, &restored_);
      handler->name = wxString::FromUTF8(name);
      handlers.emplace(compat::win32::Utf8ToUtf16(name), std::move(handler));
    }
    return handlers;
  }

  const std::string store_ = folder() / "data.db";
  const std::u16string storePath_ = WindowsPath(store_);
  std::vector<std::string> restored_;
};

// The writer's end completes the archive and takes its temporary folder.
TEST_F(ZipArchiveTest, EntryNamesAndTemporaryPathsShareOneCounterUntilTheWriterEnds) {
  std::u16string tempPath;
  {
    lapp::CZipSaveManager writer(storePath_);
    writer.BeginEntry("kept").WriteAll("k", 1);
    EXPECT_EQ(writer.MakeEntryName("filefolder.", "."), "filefolder.1.");
    EXPECT_EQ(writer.MakeEntryName("filefolder.", "."), "filefolder.2.");
    tempPath = writer.MakeTempFilePath(u"regsection.", u".reg");
    const std::string posix = *compat::win32::PosixPath(tempPath);
    EXPECT_EQ(std::string(compat::win32::LastComponent(posix)), "regsection.3.reg");
    const std::string tempFolder(compat::win32::LastComponent(compat::win32::ParentFolder(posix)));
    EXPECT_TRUE(tempFolder.starts_with("owport_zip_") && tempFolder.ends_with("_temp") && tempFolder.size() == 24 &&
                tempFolder.find_first_not_of("0123456789ABCDEF", 11) == 19)
        << tempFolder;
  }
  EXPECT_FALSE(lapp::FolderExists(tempPath.substr(0, tempPath.rfind(u'\\'))));
  EXPECT_TRUE(lapp::CZipLoadManager(storePath_).HasEntry("kept"));
}

TEST_F(ZipArchiveTest, LoadingRestoresOnlyTheSetAskedForAndSkipsUnknownNames) {
  lapp::SaveSet(storePath_, "regentry_user", Handlers({{"a", "alpha"}, {"b", "beta"}}));
  EXPECT_NE(ReadFile(store_).substr(0, 2), "PK");  // scrambled on disk

  const lapp::HandlerMap loaders = Handlers({{"a", "?"}, {"c", "?"}});
  lapp::LoadSet(storePath_, "regentry_init", loaders);
  EXPECT_TRUE(restored_.empty());
  lapp::LoadSet(storePath_, "regentry_user", loaders);
  EXPECT_EQ(restored_, std::vector<std::string>{"alpha"});
  // Saving again replaces the archive.
  lapp::SaveSet(storePath_, "regentry_user", Handlers({{"a", "again"}}));
  lapp::LoadSet(storePath_, "regentry_user", loaders);
  EXPECT_EQ(restored_, (std::vector<std::string>{"alpha", "again"}));
}

TEST_F(ZipArchiveTest, FailedSaveKeepsThePreviousArchiveWhole) {
  lapp::SaveSet(storePath_, "regentry_user", Handlers({{"a", "old"}}));
  const std::string before = ReadFile(store_);
  lapp::HandlerMap failing = Handlers({{"a", "new"}, {"b", "new"}});
  static_cast<TextHandler&>(*failing.at(u"b")).failSave = true;
  EXPECT_THROW(lapp::SaveSet(storePath_, "regentry_user", failing), std::runtime_error);
  EXPECT_EQ(ReadFile(store_), before);
  EXPECT_FALSE(lapp::FileExists(storePath_ + u".new"));
}

TEST_F(ZipArchiveTest, FilesOfEverySizeGoInWholeWithTheTimeOfSaving) {
  SetEnv("TZ", "XST-5");  // a zone away from UTC, so that local and UTC times differ
  const std::size_t sizes[] = {0, 1, 65535, 65536, 65537, 200000};
  const std::string files = folder() / "files/";
  std::filesystem::create_directories(files + "folder");
  const std::time_t before = std::time(nullptr);
  {
    lapp::CZipSaveManager writer(storePath_);
    for (std::size_t size : sizes) {
      std::string bytes(size, 'x');
      for (std::size_t i = 0; i < size; i += 4096) bytes[i] = static_cast<char>('a' + i / 4096 % 26);
      WriteFile(files + std::to_string(size), bytes);
      writer.AddFileEntryAs(WindowsPath(files + std::to_string(size)), std::to_string(size));
    }
    // Neither a missing file nor a folder makes an entry.
    writer.AddFileEntryAs(WindowsPath(files + "missing"), "missing");
    writer.AddFileEntryAs(WindowsPath(files + "folder"), "folder");
    writer.Finish();
  }
  const std::time_t after = std::time(nullptr);
  lapp::CZipLoadManager reader(storePath_);
  EXPECT_FALSE(reader.HasEntry("missing"));
  EXPECT_FALSE(reader.HasEntry("folder"));
  for (std::size_t size : sizes) {
    const std::string name = std::to_string(size);
    reader.ExtractEntry(name, WindowsPath(files + "out"));
    EXPECT_EQ(ReadFile(files + "out"), ReadFile(files + name)) << size;
  }
  // The entries carry the local time of saving, to the two seconds of a zip time.
  lapp::CCryptedInputFileStream file(store_);
  wxZipInputStream zip(file);
  int entries = 0;
  while (std::unique_ptr<wxZipEntry> entry{zip.GetNextEntry()}) {
    const std::time_t stamped = entry->GetDateTime().GetTicks();
    EXPECT_TRUE(stamped >= before - 2 && stamped <= after) << entry->GetName() << " " << stamped - before;
    ++entries;
  }
  EXPECT_EQ(entries, static_cast<int>(std::size(sizes)));
}

// A scrambled archive of one stored entry "big" holding one byte, whose
// central record declares 10 GB through the zip64 extra field.
std::string TenGigabyteEntry() {
  std::string bytes;
  const auto put = [&](std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  };
  const std::uint64_t declared = 10'000'000'000;
  const auto sizes = [&] { put(0x10001, 4), put(declared, 8), put(1, 8); };  // id 1, length 16
  put(0x04034b50, 4), put(45, 2), put(0, 8), put(0, 4), put(0xFFFFFFFF, 8), put(3, 2), put(20, 2);
  bytes += "big", sizes(), bytes += "x";
  const std::size_t central = bytes.size();
  put(0x02014b50, 4), put(0x032d, 2), put(45, 2), put(0, 8), put(0, 4), put(0xFFFFFFFF, 8);
  put(3, 2), put(20, 2), put(0, 8), put(0x81a4u << 16, 4), put(0, 4);
  bytes += "big", sizes();
  const std::size_t end = bytes.size();
  put(0x06054b50, 4), put(0, 4), put(1, 2), put(1, 2), put(end - central, 4), put(central, 4), put(0, 2);
  lapp::CryptTransform(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<std::ptrdiff_t>(bytes.size()), 0);
  return bytes;
}

TEST_F(ZipArchiveTest, UnsafeAndMissingEntriesAreRefusedByName) {
  {
    lapp::CCryptedOutputFileStream file(store_);
    wxZipOutputStream zip(file, -1, wxConvUTF8);
    auto* link = new wxZipEntry("link");
    link->SetSystemMadeBy(wxZIP_SYSTEM_UNIX);
    link->SetExternalAttributes(0120777u << 16);
    zip.PutNextEntry(link);
    zip.Write("/etc/passwd", 11);
    zip.PutNextEntry(new wxZipEntry("folder/", wxDateTime::Now()));
    zip.PutNextEntry("plain");
    zip.Write("plain text", 10);
    zip.Close();
  }
  const std::string target = folder() / "out";
  const std::string tenGigabytes = folder() / "big.db";
  WriteFile(tenGigabytes, TenGigabyteEntry());
  const std::pair<std::string, const char*> rows[] = {
      {store_, "link"}, {store_, "folder"}, {store_, "nothing"}, {tenGigabytes, "big"}};
  for (const auto& [archive, name] : rows) {
    lapp::CZipLoadManager reader(WindowsPath(archive));
    try {
      reader.ExtractEntry(name, WindowsPath(target));
      ADD_FAILURE() << name << " was extracted";
    } catch (const lapp::CArchiveError& error) {
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(target))) << name;
  }
  // A link planted at the destination is replaced, not written through.
  const std::string outside = folder() / "outside";
  WriteFile(outside, "kept");
  std::filesystem::create_symlink(outside, target);
  lapp::CZipLoadManager(storePath_).ExtractEntry("plain", WindowsPath(target));
  EXPECT_EQ(ReadFile(outside), "kept");
  EXPECT_EQ(ReadFile(target), "plain text");
}

TEST_F(ZipArchiveTest, DamagedArchivesRestoreNothingWrong) {
  lapp::SaveSet(storePath_, "regentry_user", Handlers({{"a", std::string(5000, 'z')}}));
  const std::string good = ReadFile(store_);
  std::string unscrambled = good;
  lapp::CryptTransform(reinterpret_cast<unsigned char*>(unscrambled.data()),
                       static_cast<std::ptrdiff_t>(unscrambled.size()), 0);
  std::string flipped = good;
  flipped[good.size() / 3] ^= 0x5A;
  const std::string cases[] = {"", "random bytes that are no archive", good.substr(0, good.size() / 2),
                               unscrambled, flipped};
  const lapp::HandlerMap loaders = Handlers({{"a", "?"}});
  for (const std::string& bytes : cases) {
    WriteFile(store_, bytes);
    restored_.clear();
    try {
      lapp::LoadSet(storePath_, "regentry_user", loaders);
    } catch (const lapp::CArchiveError&) {
    }
    for (const std::string& text : restored_) EXPECT_EQ(text, std::string(5000, 'z'));
  }
}

TEST(ArchivePathTest, ContainedRelativePaths) {
  const std::pair<const char*, bool> rows[] = {
      {"a.txt", true},   {"sub/b.txt", true}, {"sub\\c", true},   {"..", false},
      {"../x", false},   {"a/../../x", false}, {"a\\..\\x", false}, {"/etc/x", false},
      {"\\x", false},    {"C:x", false},       {"C:", false},       {"", false},
      {"..a/b..", true},
  };
  for (const auto& [path, contained] : rows) EXPECT_EQ(lapp::IsContainedRelativePath(path), contained) << path;
  EXPECT_EQ(lapp::InternalEntryName(u"Z:\\home\\ann\\f.txt", true), "home/ann/f.txt");
  EXPECT_EQ(lapp::InternalEntryName(u"Z:\\home\\ann\\f.txt", false), "f.txt");
  // An entry is found by its name in the archive or by the full path of its file.
  const std::pair<const char*, const char*> lookups[] = {
      {"filefolder.1.", "filefolder.1."}, {"h:x/f", "h:x/f"}, {"/a/b", "a/b"},
      {"Z:\\home\\ann\\f.txt", "home/ann/f.txt"}};
  for (const auto& [given, found] : lookups) EXPECT_EQ(lapp::EntryLookupName(given), found) << given;
  // Plain paths are named without wx; every path is named as wx names it.
  const char16_t* paths[] = {u"Z:\\home\\ann\\f.txt", u"\\a/b\\c", u"a", u"Z:a\\b", u".hidden\\x.", u"a.b.c",
                             u"\\\\server\\share\\f", u"a\\\\b", u"a\\.\\b", u"a\\..\\b", u"..\\a", u".\\a",
                             u"a\\", u"Z:\\", u"Z:", u"a:b", u"Z:C:\\x", u"\\", u"\u00e9t\u00e9\\\u65e5\u672c.txt"};
  for (const char16_t* path : paths) {
    std::u16string name = path;
    if (name.size() >= 2 && name[1] == u':') name.erase(0, 2);
    EXPECT_EQ(lapp::InternalEntryName(path, true), wxZipEntry::GetInternalName(lapp::ToWx(name), wxPATH_DOS))
        << compat::win32::Utf16ToUtf8(path);
  }
}

}  // namespace
