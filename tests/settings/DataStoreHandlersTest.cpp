// The file, folder and registry key handlers through a saved and loaded set.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <wx/xml/xml.h>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/DataStoreHandlers.h"
#include "settings/lapp/Folders.h"
#include "settings/lapp/ZipArchive.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::WindowsPath;
namespace fs = std::filesystem;

using testing_support::ReadFile;

void WriteAll(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  testing_support::WriteFile(path, bytes);
}

class DataStoreHandlersTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("TMPDIR", folder().path()); }

  // Saves the one handler under `name`; its element of the description as text.
  std::string SavedElement(const std::u16string& name, lapp::IDataStoreHandler* handler) {
    lapp::HandlerMap handlers;
    handlers.emplace(name, handler);
    lapp::SaveSet(store_, "regentry_user", handlers);
    lapp::CZipLoadManager reader(store_);
    const auto document = reader.LoadXml(lapp::kDescriptionEntry);
    const wxXmlNode* element = document->GetRoot()->GetChildren();
    std::string text = std::string(element->GetName().utf8_str());
    for (const wxXmlAttribute* a = element->GetAttributes(); a; a = a->GetNext())
      text += " " + std::string(a->GetName().utf8_str()) + "=" + std::string(a->GetValue().utf8_str());
    return text;
  }

  void Restore(const std::u16string& name, lapp::IDataStoreHandler* handler) {
    lapp::HandlerMap handlers;
    handlers.emplace(name, handler);
    handler->Clean();
    lapp::LoadSet(store_, "regentry_user", handlers);
  }

  const std::u16string store_ = WindowsPath(folder() / "data.db");
};

TEST_F(DataStoreHandlersTest, FileFlagsDecideWhatIsSavedRemovedAndRestored) {
  const std::string file = folder() / "items/a.txt";
  const std::u16string path = WindowsPath(file);
  struct Row {
    std::int32_t flags;
    bool exists;
    bool removed, restored;
  } rows[] = {
      {7, true, true, true},    // saved, removed, restored
      {6, true, true, false},   // not saved: nothing to restore
      {3, true, true, false},   // not restored
      {5, true, false, true},   // left on the machine, replaced
      {7, false, true, false},  // missing: "available" false, stays absent
  };
  for (const Row& row : rows) {
    fs::remove_all(folder() / "items");
    if (row.exists) WriteAll(file, "text of a");
    const std::string element = SavedElement(path, new lapp::CFileHandler(path, row.flags));
    const std::string name = " name=" + compat::win32::Utf16ToUtf8(path);
    EXPECT_NE(element.find(name + (row.exists ? " available=true" : " available=false")), std::string::npos)
        << element;
    EXPECT_EQ(element.find("destination=") != std::string::npos, row.exists && (row.flags & 1) != 0) << element;
    lapp::HandlerMap handlers;
    auto* handler = new lapp::CFileHandler(path, row.flags);
    handlers.emplace(path, handler);
    handler->Clean();
    EXPECT_EQ(!fs::exists(file), row.removed || !row.exists) << row.flags;
    fs::remove(file);
    lapp::LoadSet(store_, "regentry_user", handlers);
    EXPECT_EQ(fs::exists(file) ? ReadFile(file) : "", row.restored ? "text of a" : "") << row.flags;
  }
}

// The description document, byte for byte as data stores already written
// hold it: its declaration, element and attribute order, indentation.
TEST_F(DataStoreHandlersTest, DescriptionKeepsItsBytes) {
  const std::string root = folder() / "d";
  WriteAll(root + "/f.txt", "f");
  WriteAll(root + "/sub/g.txt", "g");
  const std::u16string file = WindowsPath(root + "/f.txt"), tree = WindowsPath(root + "/sub") + u"\\";
  lapp::HandlerMap handlers;
  handlers.emplace(file, new lapp::CFileHandler(file, 1));
  handlers.emplace(tree, new lapp::CFolderHandler(tree, 1));
  lapp::SaveSet(store_, "regentry_user", handlers);
  const std::string text = folder() / "description";
  lapp::CZipLoadManager(store_).ExtractEntry(lapp::kDescriptionEntry, WindowsPath(text));
  EXPECT_EQ(ReadFile(text),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<appmanager version=\"1\">\n"
            "  <regentry_user type=\"0\" name=\"" + compat::win32::Utf16ToUtf8(file) +
                "\" available=\"true\" destination=\"filefolder.1.\"/>\n"
            "  <regentry_user type=\"1\" name=\"" + compat::win32::Utf16ToUtf8(tree) + "\" available=\"true\">\n"
            "    <regentry_user destination=\"" + compat::win32::Utf16ToUtf8(tree) +
                "g.txt\" type=\"0\" available=\"true\"/>\n"
            "  </regentry_user>\n"
            "</appmanager>\n");
}

TEST_F(DataStoreHandlersTest, NestedFolderComesBackWhole) {
  const std::string root = folder() / "tree";
  WriteAll(root + "/top.txt", "1");
  WriteAll(root + "/a/mid.txt", "22");
  WriteAll(root + "/a/b/c/deep.bin", std::string("\0\1\2", 3));
  const std::u16string path = WindowsPath(root) + u"\\";
  const std::string element = SavedElement(path, new lapp::CFolderHandler(path, 7));
  EXPECT_NE(element.find("type=1"), std::string::npos);
  Restore(path, new lapp::CFolderHandler(path, 3));  // removed, not restored
  EXPECT_FALSE(fs::exists(root));
  Restore(path, new lapp::CFolderHandler(path, 7));
  EXPECT_EQ(ReadFile(root + "/top.txt"), "1");
  EXPECT_EQ(ReadFile(root + "/a/mid.txt"), "22");
  EXPECT_EQ(ReadFile(root + "/a/b/c/deep.bin"), std::string("\0\1\2", 3));
}

TEST_F(DataStoreHandlersTest, FolderEntryOutsideItsFolderIsRefusedByName) {
  const std::string root = folder() / "tree";
  WriteAll(root + "/x.txt", "x");
  const std::u16string path = WindowsPath(root) + u"\\";
  SavedElement(path, new lapp::CFolderHandler(path, 7));
  lapp::CZipLoadManager reader(store_);
  const wxString inside = lapp::InternalEntryName(WindowsPath(root + "/x.txt"), true);
  // As the archive names an entry, and as a full path.
  const wxString rows[] = {inside.BeforeLast('/') + "/../../escaped.txt", "etc/passwd",
                           lapp::ToWx(path + u"..\\escaped.txt"), lapp::ToWx(WindowsPath(folder() / "escaped.txt"))};
  for (const wxString& destination : rows) {
    wxXmlNode element(wxXML_ELEMENT_NODE, "regentry_user");
    auto* child = new wxXmlNode(wxXML_ELEMENT_NODE, "regentry_user");
    child->AddAttribute("destination", destination);
    element.AddChild(child);
    lapp::CFolderHandler handler(path, 7);
    try {
      handler.Load(reader, element, "regentry_user");
      ADD_FAILURE() << destination;
    } catch (const lapp::CArchiveError& error) {
      EXPECT_NE(std::string(error.what()).find(std::string(destination.utf8_str())), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(folder() / "escaped.txt"));
}

TEST_F(DataStoreHandlersTest, RegistryKeyGoesThroughTheRegistryTool) {
  // The export and import files' paths hold a blank.
  fs::create_directories(folder() / "temp dir");
  SetEnv("TMPDIR", folder() / "temp dir");
  const std::u16string key = u"Software\\korvane\\Korvane Orbweave 9";
  testing_support::SetRegString(HKEY_CURRENT_USER, key + u"\\General", u"Language", u"deutsch");
  testing_support::SetRegDword(HKEY_CURRENT_USER, key, u"FirstStart", 0);
  const std::string element = SavedElement(u"HKEY_CURRENT_USER\\" + key, new lapp::CRegistrySectionHandler(u"HKEY_CURRENT_USER", key, 7));
  EXPECT_NE(element.find("type=2 name=HKEY_CURRENT_USER\\" + compat::win32::Utf16ToUtf8(key) +
                         " destination=regsection.1.reg"),
            std::string::npos)
      << element;
  lapp::CRegistrySectionHandler cleaner(u"HKEY_CURRENT_USER", key, 2);
  cleaner.Clean();
  EXPECT_FALSE(testing_support::GetRegDword(HKEY_CURRENT_USER, key, u"FirstStart"));
  Restore(u"HKEY_CURRENT_USER\\" + key, new lapp::CRegistrySectionHandler(u"HKEY_CURRENT_USER", key, 3));
  EXPECT_FALSE(testing_support::GetRegDword(HKEY_CURRENT_USER, key, u"FirstStart"));
  Restore(u"HKEY_CURRENT_USER\\" + key, new lapp::CRegistrySectionHandler(u"HKEY_CURRENT_USER", key, 7));
  EXPECT_EQ(testing_support::GetRegString(HKEY_CURRENT_USER, key + u"\\General", u"Language"), u"deutsch");
  EXPECT_EQ(testing_support::GetRegDword(HKEY_CURRENT_USER, key, u"FirstStart"), 0u);
}

TEST_F(DataStoreHandlersTest, CleaningNeverTakesAWholeRoot) {
  testing_support::SetRegDword(HKEY_CURRENT_USER, u"Software\\other", u"Kept", 1);
  lapp::CRegistrySectionHandler(u"HKEY_CURRENT_USER", u"", 7).Clean();
  lapp::CRegistrySectionHandler(u"HKEY_NO_SUCH_ROOT", u"Software\\other", 7).Clean();
  EXPECT_EQ(testing_support::GetRegDword(HKEY_CURRENT_USER, u"Software\\other", u"Kept"), 1u);
}

}  // namespace
