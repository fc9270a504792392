// The data-store archive: its reader and writer, saving and loading a set.
#include "settings/lapp/ZipArchive.h"

#include <algorithm>
#include <array>
#include <vector>

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/wfstream.h>
#include <wx/xml/xml.h>
#include <wx/zipstrm.h>

#include "compat/win32/File.h"
#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/CryptedFileStream.h"
#include "settings/lapp/Folders.h"

namespace lapp {
namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;
// A description larger than this is no description of ours.
constexpr wxFileOffset kMaxDescription = 64 << 20;

// The file name wx opens for a platform path.
wxString NativeName(const std::u16string& path) {
  const std::optional<std::string> posix = compat::win32::PosixPath(path);
  return wxString::FromUTF8(posix ? *posix : compat::win32::Utf16ToUtf8(path));
}

std::string Utf8(const std::u16string& text) { return compat::win32::Utf16ToUtf8(text); }
std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

std::u16string ParentOf(const std::u16string& path) {
  const std::size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
}

}  // namespace

wxString ToWx(const std::u16string& text) { return wxString::FromUTF8(Utf8(text)); }
std::u16string FromWx(const wxString& text) { return compat::win32::Utf8ToUtf16(Utf8(text)); }

wxString InternalEntryName(const std::u16string& filePath, bool keepFullPath) {
  std::u16string name = filePath;
  if (!keepFullPath) {
    const std::size_t cut = name.find_last_of(u"\\/");
    if (cut != std::u16string::npos) name.erase(0, cut + 1);
  }
  // The drive is not part of the name ("Z:\a\b" is stored as "a/b").
  if (name.size() >= 2 && name[1] == u':') name.erase(0, 2);
  return wxZipEntry::GetInternalName(ToWx(name), wxPATH_DOS);
}

bool IsContainedRelativePath(const wxString& relative) {
  if (relative.empty() || relative[0] == '/' || relative[0] == '\\') return false;
  if (relative.length() >= 2 && relative[1] == ':') return false;
  std::size_t start = 0;
  while (start <= relative.length()) {
    std::size_t end = relative.find_first_of("/\\", start);
    if (end == wxString::npos) end = relative.length();
    if (relative.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

CZipLoadManager::CZipLoadManager(const std::u16string& archivePath) : archivePath_(archivePath) {
  if (!FileExists(archivePath)) throw CAppmanError(CAppmanError::kArchiveMissing);
  wxLogNull quiet;
  file_ = std::make_unique<CCryptedInputFileStream>(NativeName(archivePath));
  if (!file_->IsOk()) throw CArchiveError("The data store '" + Utf8(archivePath) + "' cannot be opened.");
  zip_ = std::make_unique<wxZipInputStream>(*file_, wxConvUTF8);
  while (wxZipEntry* entry = zip_->GetNextEntry()) {
    std::unique_ptr<wxZipEntry> owned(entry);
    const wxString name = owned->GetInternalName();
    entries_.try_emplace(name, std::move(owned));
  }
  if (zip_->GetLastError() == wxSTREAM_READ_ERROR && entries_.empty())
    throw CArchiveError("The data store '" + Utf8(archivePath) +
                        "' is damaged or was not written by this program.");
}

CZipLoadManager::~CZipLoadManager() {
  zip_.reset();
  file_.reset();
  if (!tempFolder_.empty()) DeleteFolder(tempFolder_);
}

bool CZipLoadManager::HasReadableDescription() { return LoadXml(kDescriptionEntry) != nullptr; }

std::vector<CZipLoadManager::EntryInfo> CZipLoadManager::Entries() const {
  std::vector<EntryInfo> list;
  for (const auto& [name, entry] : entries_) list.push_back({name, entry->GetSize(), entry->IsDir()});
  return list;
}

std::u16string CZipLoadManager::GetTempFolder() {
  if (tempFolder_.empty()) {
    tempFolder_ = CreateUniqueFolder(SystemTempFolder(), u"owport_unzip_", u"_temp");
    if (tempFolder_.empty()) throw CArchiveError("No temporary folder can be made for the data store.");
  }
  return tempFolder_;
}

wxZipEntry* CZipLoadManager::Find(const wxString& entryName, bool forExtraction) {
  const auto found = entries_.find(wxZipEntry::GetInternalName(entryName, wxPATH_UNIX));
  if (found == entries_.end()) {
    if (!forExtraction) return nullptr;
    throw CArchiveError("The data store has no entry '" + Utf8(entryName) + "'.");
  }
  wxZipEntry& entry = *found->second;
  // The zip reader gives every entry the type of a plain file or a folder,
  // so an entry made as a link comes out as a file holding the link's text
  // and never as a link.
  if (entry.IsDir()) {
    if (!forExtraction) return nullptr;
    throw CArchiveError("The data store entry '" + Utf8(entryName) + "' is a folder; it is not extracted.");
  }
  return &entry;
}

void CZipLoadManager::ExtractEntry(const wxString& entryName, const std::u16string& destination) {
  wxLogNull quiet;
  wxZipEntry* entry = Find(entryName, true);
  const wxFileOffset declared = entry->GetSize();
  if (declared > 0 && static_cast<std::uint64_t>(declared) > remaining_)
    throw CArchiveError("The data store entry '" + Utf8(entryName) + "' is larger than allowed.");
  DeleteFileW(destination.c_str());
  CreateFolderWithParents(ParentOf(destination));
  if (!zip_->OpenEntry(*entry))
    throw CArchiveError("The data store entry '" + Utf8(entryName) + "' cannot be read.");

  std::string problem;
  {
    wxFileOutputStream out(NativeName(destination));
    if (!out.IsOk()) throw CArchiveError("The file '" + Utf8(destination) + "' cannot be created.");
    std::vector<char> buffer(kCopyBuffer);
    std::uint64_t total = 0;
    while (problem.empty()) {
      zip_->Read(buffer.data(), buffer.size());
      const std::size_t got = zip_->LastRead();
      if (got == 0) break;
      total += got;
      if (total > remaining_ || (declared >= 0 && total > static_cast<std::uint64_t>(declared))) {
        problem = "' holds more than it declares or than allowed";
      } else if (!out.WriteAll(buffer.data(), got)) {
        problem = "' cannot be written out (is the disk full?)";
      }
    }
    const wxStreamError state = zip_->GetLastError();
    if (problem.empty() && state != wxSTREAM_NO_ERROR && state != wxSTREAM_EOF)
      problem = "' is damaged";
    if (!out.Close() && problem.empty()) problem = "' cannot be written out (is the disk full?)";
    remaining_ -= std::min(remaining_, total);
  }
  if (!problem.empty()) {
    DeleteFileW(destination.c_str());
    throw CArchiveError("The data store entry '" + Utf8(entryName) + problem + ".");
  }
}

std::unique_ptr<wxXmlDocument> CZipLoadManager::LoadXml(const wxString& entryName) {
  wxLogNull quiet;
  wxZipEntry* entry = Find(entryName, false);
  if (entry == nullptr || entry->GetSize() > kMaxDescription || !zip_->OpenEntry(*entry)) return nullptr;
  auto document = std::make_unique<wxXmlDocument>();
  if (!document->Load(*zip_, "UTF-8") || document->GetRoot() == nullptr) return nullptr;
  return document;
}

CZipSaveManager::CZipSaveManager(const std::u16string& archivePath)
    : archivePath_(archivePath), newPath_(archivePath + u".new") {
  DeleteFileW(newPath_.c_str());
  file_ = std::make_unique<CCryptedOutputFileStream>(NativeName(newPath_));
  if (!file_->IsOk()) {
    file_.reset();
    DeleteFileW(newPath_.c_str());
    throw CArchiveError("The data store '" + Utf8(archivePath) + "' cannot be written.");
  }
  zip_ = std::make_unique<wxZipOutputStream>(*file_, -1, wxConvUTF8);
}

CZipSaveManager::~CZipSaveManager() {
  if (!finished_) {
    wxLogNull quiet;
    zip_.reset();
    file_.reset();
    DeleteFileW(newPath_.c_str());
  }
  if (!tempFolder_.empty()) DeleteFolder(tempFolder_);
}

void CZipSaveManager::AddFileEntry(const std::u16string& filePath, bool keepFullPath) {
  AddFileEntryAs(filePath, InternalEntryName(filePath, keepFullPath));
}

void CZipSaveManager::AddFileEntryAs(const std::u16string& filePath, const wxString& entryName) {
  if (!FileExists(filePath)) return;
  wxLogNull quiet;
  wxFileInputStream in(NativeName(filePath));
  if (!in.IsOk()) throw CArchiveError("The file '" + Utf8(filePath) + "' cannot be read.");
  BeginEntry(entryName);
  std::vector<char> buffer(kCopyBuffer);
  for (;;) {
    in.Read(buffer.data(), buffer.size());
    const std::size_t got = in.LastRead();
    if (got == 0) break;
    if (!zip_->WriteAll(buffer.data(), got))
      throw CArchiveError("The data store cannot take the file '" + Utf8(filePath) + "' (is the disk full?).");
  }
  if (in.GetLastError() != wxSTREAM_EOF && in.GetLastError() != wxSTREAM_NO_ERROR)
    throw CArchiveError("The file '" + Utf8(filePath) + "' cannot be read.");
}

std::u16string CZipSaveManager::MakeTempFilePath(const std::u16string& prefix, const std::u16string& suffix) {
  if (tempFolder_.empty()) {
    tempFolder_ = CreateUniqueFolder(SystemTempFolder(), u"owport_zip_", u"_temp");
    if (tempFolder_.empty()) throw CArchiveError("No temporary folder can be made for the data store.");
  }
  const std::string number = std::to_string(++counter_);
  return WithBackslash(tempFolder_) + prefix + std::u16string(number.begin(), number.end()) + suffix;
}

wxString CZipSaveManager::MakeEntryName(const wxString& prefix, const wxString& suffix) {
  return wxString::Format("%s%d%s", prefix, ++counter_, suffix);
}

wxOutputStream& CZipSaveManager::BeginEntry(const wxString& entryName) {
  if (!zip_->PutNextEntry(entryName, wxDateTime::Now()))
    throw CArchiveError("The data store cannot take the entry '" + Utf8(entryName) + "'.");
  return *zip_;
}

void CZipSaveManager::Finish() {
  wxLogNull quiet;
  bool ok = zip_->Close() && file_->IsOk();
  // Sync flushes the file to the disk before it takes the old one's place.
  file_->Sync();
  ok = ok && file_->IsOk();
  ok = file_->Close() && ok;
  zip_.reset();
  file_.reset();
  if (!ok || !wxRenameFile(NativeName(newPath_), NativeName(archivePath_), true)) {
    DeleteFileW(newPath_.c_str());
    throw CArchiveError("The data store '" + Utf8(archivePath_) +
                        "' could not be written completely (is the disk full?); the previous one is kept.");
  }
  finished_ = true;
}

void SaveSet(const std::u16string& archivePath, const wxString& setName, const HandlerMap& handlers) {
  wxXmlDocument description;
  auto* root = new wxXmlNode(wxXML_ELEMENT_NODE, "appmanager");
  root->AddAttribute("version", "1");
  description.SetRoot(root);
  CZipSaveManager writer(archivePath);
  for (const auto& [name, handler] : handlers) handler->Save(writer, *root, setName);
  if (!description.Save(writer.BeginEntry(kDescriptionEntry)))
    throw CArchiveError("The data store's description cannot be written.");
  writer.Finish();
}

void LoadSet(const std::u16string& archivePath, const wxString& setName, const HandlerMap& handlers) {
  CZipLoadManager reader(archivePath);
  const std::unique_ptr<wxXmlDocument> description = reader.LoadXml(kDescriptionEntry);
  // An archive without a description holds nothing that can be restored.
  if (!description) return;
  std::vector<const wxXmlNode*> elements;
  for (const wxXmlNode* child = description->GetRoot()->GetChildren(); child; child = child->GetNext())
    if (child->GetType() == wxXML_ELEMENT_NODE && child->GetName() == setName) elements.push_back(child);
  for (const wxXmlNode* element : elements) {
    const auto handler = handlers.find(FromWx(element->GetAttribute("name", "")));
    if (handler != handlers.end()) handler->second->Load(reader, *element, setName);
  }
}

}  // namespace lapp
