// The file, folder and registry key handlers of the data store.
#include "settings/lapp/DataStoreHandlers.h"

#include <wx/xml/xml.h>

#include "compat/win32/File.h"
#include "compat/win32/Process.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Sync.h"
#include "platform/win32/RegistryValueStore.h"
#include "settings/lapp/Folders.h"

namespace lapp {
namespace {

enum HandlerType { kFileType = 0, kFolderType = 1, kRegistryType = 2 };
constexpr std::int32_t kSave = 1, kRemove = 2, kRestore = 4;
constexpr int kToolSeconds = 30;
// The registry tool, found on the search path.
constexpr const char16_t* kRegistryTool = u"regedit.exe";

wxXmlNode* NewElement(wxXmlNode& parent, const wxString& setName, int type, const std::u16string& name) {
  auto* element = new wxXmlNode(wxXML_ELEMENT_NODE, setName);
  parent.AddChild(element);
  element->AddAttribute("type", wxString::Format("%d", type));
  element->AddAttribute("name", ToWx(name));
  return element;
}

const char* TrueFalse(bool value) { return value ? "true" : "false"; }

std::u16string Quoted(const std::u16string& text) { return u"\"" + text + u"\""; }

// A path as one argument of a command line: as it is, or in quotes when it
// holds a blank, which would otherwise split it in two.
std::u16string Argument(const std::u16string& path) {
  return path.find_first_of(u" \t") == std::u16string::npos ? path : Quoted(path);
}

HKEY RootKey(const std::u16string& rootName) {
  if (rootName == u"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (rootName == u"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  return nullptr;
}

}  // namespace

bool RunProgramAndWait(const std::u16string& programName, const std::u16string& arguments, int seconds) {
  char16_t program[MAX_PATH + 1];
  const DWORD found = SearchPathW(nullptr, programName.c_str(), nullptr, MAX_PATH + 1, program, nullptr);
  if (found == 0 || found > MAX_PATH) return false;
  std::u16string commandLine = Argument(program) + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started))
    return false;
  WaitForSingleObject(started.hProcess, static_cast<DWORD>(seconds) * 1000);
  CloseHandle(started.hProcess);
  return true;
}

void CFileHandler::Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) {
  wxXmlNode* element = NewElement(parent, setName, kFileType, path_);
  const bool exists = FileExists(path_);
  element->AddAttribute("available", TrueFalse(exists));
  if (!(flags_ & kSave) || !exists) return;
  const wxString entry = writer.MakeEntryName("filefolder.", ".");
  element->AddAttribute("destination", entry);
  writer.AddFileEntryAs(path_, entry);
}

void CFileHandler::Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString&) {
  if (!(flags_ & kRestore)) return;
  if (element.GetAttribute("available", "false") != "true") return;
  const wxString entry = element.GetAttribute("destination", "");
  if (reader.HasEntry(entry)) reader.ExtractEntry(entry, path_);
}

void CFileHandler::Clean() {
  if ((flags_ & kRemove) && FileExists(path_)) DeleteFileW(path_.c_str());
}

void CFolderHandler::Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) {
  wxXmlNode* element = NewElement(parent, setName, kFolderType, path_);
  const bool exists = FolderExists(path_);
  element->AddAttribute("available", TrueFalse(exists));
  if (!(flags_ & kSave) || !exists) return;
  // Each child goes after the last one: AddChild would walk the whole list
  // every time.
  wxXmlNode* last = nullptr;
  // Made once, not once per file: a wxString from a C string goes through
  // the C library's multibyte conversion.
  const wxString destination("destination"), type("type"), fileType("0"), available("available"), yes("true");
  for (const std::u16string& file : ListFilesBelow(path_)) {
    writer.AddFileEntry(file, true);
    auto* child = new wxXmlNode(wxXML_ELEMENT_NODE, setName);
    if (last) {
      element->InsertChildAfter(child, last);
    } else {
      element->AddChild(child);
    }
    last = child;
    // The file's full path, which the reader finds under its internal name.
    child->AddAttribute(destination, ToWx(file));
    child->AddAttribute(type, fileType);
    child->AddAttribute(available, yes);
  }
}

void CFolderHandler::Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString&) {
  if (!(flags_ & kRestore)) return;
  const wxString prefix = InternalEntryName(path_.substr(0, path_.size() - 1), true) + "/";
  // Made once, not once per file.
  const wxString destination("destination"), none;
  for (const wxXmlNode* child = element.GetChildren(); child; child = child->GetNext()) {
    if (child->GetType() != wxXML_ELEMENT_NODE) continue;
    const wxString given = child->GetAttribute(destination, none);
    const wxString entry = EntryLookupName(given);
    const wxString relative = entry.StartsWith(prefix) ? entry.Mid(prefix.length()) : wxString();
    if (!IsContainedRelativePath(relative))
      throw CArchiveError("The data store entry '" + std::string(given.utf8_str()) +
                          "' does not lie in the folder '" + std::string(ToWx(path_).utf8_str()) +
                          "'; it is not extracted.");
    std::u16string target = path_ + FromWx(relative);
    for (char16_t& c : target)
      if (c == u'/') c = u'\\';
    if (reader.HasEntry(entry)) reader.ExtractEntry(entry, target);
  }
}

void CFolderHandler::Clean() {
  if ((flags_ & kRemove) && FolderExists(path_)) DeleteFolder(path_);
}

void CRegistrySectionHandler::Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) {
  wxXmlNode* element = NewElement(parent, setName, kRegistryType, Name());
  const std::u16string exported = writer.MakeTempFilePath(u"regsection.", u".reg");
  DeleteFileW(exported.c_str());
  if (!(flags_ & kSave)) return;
  RunProgramAndWait(kRegistryTool, u" /a " + Argument(exported) + u" " + Quoted(Name()), kToolSeconds);
  const std::u16string entry = exported.substr(exported.find_last_of(u'\\') + 1);
  element->AddAttribute("destination", ToWx(entry));
  writer.AddFileEntry(exported, false);
  DeleteFileW(exported.c_str());
}

void CRegistrySectionHandler::Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString&) {
  if (!(flags_ & kRestore)) return;
  const wxString entry = element.GetAttribute("destination", "");
  if (!reader.HasEntry(entry)) return;
  const std::u16string imported = WithBackslash(reader.GetTempFolder()) + u"import.reg";
  reader.ExtractEntry(entry, imported);
  RunProgramAndWait(kRegistryTool, u" /s " + Argument(imported), kToolSeconds);
  DeleteFileW(imported.c_str());
}

void CRegistrySectionHandler::Clean() {
  if (!(flags_ & kRemove)) return;
  const HKEY root = RootKey(rootName_);
  if (root == nullptr || keyPath_.empty()) return;
  // The key with everything below it, through a store opened on its root.
  const lumo::P<lumo::IValueStore> store =
      lumo::make<lumo::win32::CRegistryValueStore>(root, lumo::String(u""), lumo::kValueStoreRead);
  const lumo::String key(keyPath_.c_str());
  if (store->HasKey(key)) store->DeleteKey(key);
}

}  // namespace lapp
