// The data-store archive: its reader and writer, saving and loading a set.
#include "settings/lapp/ZipArchive.h"

#include <algorithm>
#include <array>
#include <set>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/mstream.h>
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
// Between the zip streams and the file: large enough that a header or a
// small entry costs no system call of its own, small enough that a seek to
// the next entry throws little away.
constexpr std::size_t kStreamBuffer = 16 * 1024;
// A description larger than this is no description of ours.
constexpr wxFileOffset kMaxDescription = 64 << 20;

// The system's file name for a platform path.
std::string PosixName(const std::u16string& path) {
  std::optional<std::string> posix = compat::win32::PosixPath(path);
  return posix ? std::move(*posix) : compat::win32::Utf16ToUtf8(path);
}

// The file name wx opens for a platform path.
wxString NativeName(const std::u16string& path) { return wxString::FromUTF8(PosixName(path)); }

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

// Opens a platform path with the C library, unbuffered as wx's files are:
// a file per entry, and wx would turn the name into a wxString and back for
// each. ("e": not handed on to the programs the handlers start.)
FilePtr OpenFile(const std::u16string& path, const char* mode) {
  FilePtr file(std::fopen(PosixName(path).c_str(), mode));
  if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

std::string Utf8(const std::u16string& text) { return compat::win32::Utf16ToUtf8(text); }
std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

// Reads a seekable stream ahead in large pieces, and serves a seek that
// lands in what it holds without going to the stream. The zip reader reads
// headers a field at a time and seeks to every entry it opens; the archives
// of a data store hold many small entries side by side. (wx's own buffered
// stream shrinks its buffer to the shortest read it ever made, which is the
// 22-byte end record the zip reader reads first.)
class CReadAheadStream final : public wxInputStream {
 public:
  explicit CReadAheadStream(wxInputStream& source)
      : source_(source), length_(source.GetLength()), buffer_(kStreamBuffer) {}
  bool IsSeekable() const override { return true; }
  wxFileOffset GetLength() const override { return length_; }

 protected:
  size_t OnSysRead(void* buffer, size_t size) override {
    if ((position_ < start_ || position_ >= start_ + static_cast<wxFileOffset>(filled_)) && !Fill()) return 0;
    const auto offset = static_cast<std::size_t>(position_ - start_);
    const std::size_t count = std::min(size, filled_ - offset);
    std::memcpy(buffer, buffer_.data() + offset, count);
    position_ += static_cast<wxFileOffset>(count);
    m_lasterror = wxSTREAM_NO_ERROR;
    return count;
  }
  wxFileOffset OnSysSeek(wxFileOffset offset, wxSeekMode mode) override {
    wxFileOffset target = offset;
    if (mode == wxFromCurrent) target += position_;
    if (mode == wxFromEnd) {
      if (length_ == wxInvalidOffset) return wxInvalidOffset;
      target += length_;
    }
    if (target < 0) return wxInvalidOffset;
    position_ = target;
    return position_;
  }
  wxFileOffset OnSysTell() const override { return position_; }

 private:
  bool Fill() {
    filled_ = 0;
    start_ = position_;
    if (sourcePosition_ != position_ && source_.SeekI(position_) == wxInvalidOffset) {
      m_lasterror = wxSTREAM_READ_ERROR;
      return false;
    }
    source_.Read(buffer_.data(), buffer_.size());
    filled_ = source_.LastRead();
    sourcePosition_ = position_ + static_cast<wxFileOffset>(filled_);
    if (filled_ > 0) return true;
    m_lasterror = source_.GetLastError() == wxSTREAM_READ_ERROR ? wxSTREAM_READ_ERROR : wxSTREAM_EOF;
    return false;
  }

  wxInputStream& source_;
  const wxFileOffset length_;
  std::vector<unsigned char> buffer_;
  wxFileOffset start_ = 0;           // the offset of buffer_[0]
  std::size_t filled_ = 0;           // how much of buffer_ holds bytes
  wxFileOffset position_ = 0;        // where the next read starts
  wxFileOffset sourcePosition_ = 0;  // where the source stands
};

std::uint64_t Little(const unsigned char* bytes, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// Reads `size` bytes at `offset`; false when the stream holds fewer.
bool ReadAt(wxInputStream& in, wxFileOffset offset, std::vector<unsigned char>& bytes, std::size_t size) {
  bytes.resize(size);
  return in.SeekI(offset) == offset && in.Read(bytes.data(), size).LastRead() == size;
}

// The internal names of the entries made as symbolic links on a Unix
// system. wx's zip reader gives every entry the mode of a file or a folder,
// so the type is read from each central record's external attributes (the
// file mode in their high half) here. An archive whose central directory
// cannot be found gives none; wx's reader then finds no entries either.
std::set<wxString> LinkNames(wxInputStream& in) {
  constexpr std::size_t kEndSize = 22, kCentralSize = 46, kMaxComment = 0xFFFF;
  constexpr std::uint64_t kMaxDirectory = 64 << 20;
  std::set<wxString> links;
  const wxFileOffset length = in.GetLength();
  if (length < static_cast<wxFileOffset>(kEndSize)) return links;
  const auto tailSize = static_cast<std::size_t>(std::min<wxFileOffset>(length, kEndSize + kMaxComment));
  std::vector<unsigned char> tail;
  if (!ReadAt(in, length - static_cast<wxFileOffset>(tailSize), tail, tailSize)) return links;
  std::size_t end = tailSize - kEndSize + 1;
  do {
    if (end-- == 0) return links;
  } while (Little(&tail[end], 4) != 0x06054b50);
  std::uint64_t size = Little(&tail[end + 12], 4), offset = Little(&tail[end + 16], 4);
  if ((size == 0xFFFFFFFF || offset == 0xFFFFFFFF) && end >= 20 && Little(&tail[end - 20], 4) == 0x07064b50) {
    // The zip64 end record, found through its locator just before.
    std::vector<unsigned char> end64;
    if (!ReadAt(in, static_cast<wxFileOffset>(Little(&tail[end - 12], 8)), end64, 56) ||
        Little(end64.data(), 4) != 0x06064b50)
      return links;
    size = Little(&end64[40], 8), offset = Little(&end64[48], 8);
  }
  std::vector<unsigned char> directory;
  if (size > kMaxDirectory || offset + size > static_cast<std::uint64_t>(length) ||
      !ReadAt(in, static_cast<wxFileOffset>(offset), directory, size))
    return links;
  for (std::size_t at = 0; at + kCentralSize <= directory.size() && Little(&directory[at], 4) == 0x02014b50;) {
    const unsigned char* record = &directory[at];
    const std::size_t nameSize = Little(record + 28, 2);
    const std::size_t next = at + kCentralSize + nameSize + Little(record + 30, 2) + Little(record + 32, 2);
    if (next > directory.size()) break;
    constexpr unsigned kUnix = 3, kTypeMask = 0170000, kLink = 0120000;
    if (record[5] == kUnix && ((Little(record + 38, 4) >> 16) & kTypeMask) == kLink) {
      const std::string name(reinterpret_cast<const char*>(record + kCentralSize), nameSize);
      links.insert(wxZipEntry::GetInternalName(wxString::FromUTF8(name), wxPATH_UNIX));
    }
    at = next;
  }
  return links;
}

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
  // A plain path (names between single separators, none of them "." or
  // "..", no further drive or colon, no separator at the end) is its
  // internal name with forward slashes and no leading one: made here, as wx
  // would parse it into a file name object for each file of a folder. Any
  // other path goes through wx.
  const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  bool plain = !name.empty() && !separator(name.back()) && name.find(u':') == std::u16string::npos;
  std::size_t start = !name.empty() && separator(name[0]) ? 1 : 0;
  for (std::size_t at = start; plain && at <= name.size(); ++at) {
    if (at < name.size() && !separator(name[at])) continue;
    const std::u16string_view part(name.data() + start, at - start);
    plain = !part.empty() && part != u"." && part != u"..";
    start = at + 1;
  }
  if (!plain) return wxZipEntry::GetInternalName(ToWx(name), wxPATH_DOS);
  if (separator(name[0])) name.erase(0, 1);
  std::replace(name.begin(), name.end(), u'\\', u'/');
  return ToWx(name);
}

wxString EntryLookupName(const wxString& entryName) {
  // Names as the archive holds them never carry a backslash, and may carry a
  // colon anywhere (a file "a:b" is stored as it is).
  if (entryName.find('\\') == wxString::npos) return wxZipEntry::GetInternalName(entryName, wxPATH_UNIX);
  return InternalEntryName(FromWx(entryName), true);
}

bool IsContainedRelativePath(const wxString& relative) {
  // Scanned in place: a folder of many files asks this once per file.
  const wxStringCharType* text = relative.wx_str();
  const std::size_t length = relative.length();
  if (length == 0 || text[0] == '/' || text[0] == '\\') return false;
  if (length >= 2 && text[1] == ':') return false;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= length; ++at) {
    if (at < length && text[at] != '/' && text[at] != '\\') continue;
    if (at - start == 2 && text[start] == '.' && text[start + 1] == '.') return false;
    start = at + 1;
  }
  return true;
}

CZipLoadManager::CZipLoadManager(const std::u16string& archivePath) : archivePath_(archivePath) {
  if (!FileExists(archivePath)) throw CAppmanError(CAppmanError::kArchiveMissing);
  wxLogNull quiet;
  file_ = std::make_unique<CCryptedInputFileStream>(NativeName(archivePath));
  if (!file_->IsOk()) throw CArchiveError("The data store '" + Utf8(archivePath) + "' cannot be opened.");
  buffer_ = std::make_unique<CReadAheadStream>(*file_);
  links_ = LinkNames(*buffer_);
  buffer_->SeekI(0);
  zip_ = std::make_unique<wxZipInputStream>(*buffer_, wxConvUTF8);
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
  buffer_.reset();
  file_.reset();
  if (!tempFolder_.empty()) DeleteFolder(tempFolder_);
}

bool CZipLoadManager::HasReadableDescription() { return LoadXml(kDescriptionEntry) != nullptr; }

std::vector<CZipLoadManager::EntryInfo> CZipLoadManager::Entries() const {
  std::vector<EntryInfo> list;
  for (const auto& [name, entry] : entries_) list.push_back({name, entry->GetSize(), entry->IsDir()});
  std::sort(list.begin(), list.end(), [](const EntryInfo& a, const EntryInfo& b) { return a.name < b.name; });
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
  const auto found = entries_.find(EntryLookupName(entryName));
  if (found == entries_.end()) {
    if (!forExtraction) return nullptr;
    throw CArchiveError("The data store has no entry '" + Utf8(entryName) + "'.");
  }
  wxZipEntry& entry = *found->second;
  const char* refused = entry.IsDir() ? "a folder" : links_.count(found->first) ? "a link" : nullptr;
  if (refused == nullptr) return &entry;
  if (!forExtraction) return nullptr;
  throw CArchiveError("The data store entry '" + Utf8(entryName) + "' is " + refused + "; it is not extracted.");
}

bool CZipLoadManager::HasEntry(const wxString& entryName) {
  const auto found = entries_.find(EntryLookupName(entryName));
  return found != entries_.end() && !found->second->IsDir();
}

void CZipLoadManager::ExtractEntry(const wxString& entryName, const std::u16string& destination) {
  wxLogNull quiet;
  wxZipEntry* entry = Find(entryName, true);
  const wxFileOffset declared = entry->GetSize();
  if (declared > 0 && static_cast<std::uint64_t>(declared) > remaining_)
    throw CArchiveError("The data store entry '" + Utf8(entryName) + "' is larger than allowed.");
  DeleteFileW(destination.c_str());
  // A folder's files come one after another: their folder is looked for once.
  std::u16string folder = ParentOf(destination);
  if (folder != lastFolder_ && CreateFolderWithParents(folder)) lastFolder_ = std::move(folder);
  if (!zip_->OpenEntry(*entry))
    throw CArchiveError("The data store entry '" + Utf8(entryName) + "' cannot be read.");

  std::string problem;
  {
    FilePtr out = OpenFile(destination, "wbe");
    if (!out) throw CArchiveError("The file '" + Utf8(destination) + "' cannot be created.");
    // wx clears the whole buffer on every read, so a small entry is read
    // in a piece its own size (and one byte more, to see where it ends).
    const std::size_t piece =
        declared >= 0 ? std::min<std::uint64_t>(kCopyBuffer, static_cast<std::uint64_t>(declared) + 1) : kCopyBuffer;
    copy_.resize(kCopyBuffer);
    std::uint64_t total = 0;
    while (problem.empty()) {
      zip_->Read(copy_.data(), piece);
      const std::size_t got = zip_->LastRead();
      if (got == 0) break;
      total += got;
      if (total > remaining_ || (declared >= 0 && total > static_cast<std::uint64_t>(declared))) {
        problem = "' holds more than it declares or than allowed";
      } else if (std::fwrite(copy_.data(), 1, got, out.get()) != got) {
        problem = "' cannot be written out (is the disk full?)";
      }
    }
    const wxStreamError state = zip_->GetLastError();
    if (problem.empty() && state != wxSTREAM_NO_ERROR && state != wxSTREAM_EOF)
      problem = "' is damaged";
    if (std::fclose(out.release()) != 0 && problem.empty()) problem = "' cannot be written out (is the disk full?)";
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
  buffer_ = std::make_unique<wxBufferedOutputStream>(*file_, kStreamBuffer);
  zip_ = std::make_unique<wxZipOutputStream>(*buffer_, -1, wxConvUTF8);
}

CZipSaveManager::~CZipSaveManager() {
  if (!finished_ && std::uncaught_exceptions() == uncaught_) {
    try {
      Finish();
    } catch (const std::exception&) {
      // The old archive stays; SaveSet, which finishes itself, says so.
    }
  }
  if (!finished_) {
    wxLogNull quiet;
    zip_.reset();
    buffer_.reset();
    file_.reset();
    DeleteFileW(newPath_.c_str());
  }
  if (!tempFolder_.empty()) DeleteFolder(tempFolder_);
}

void CZipSaveManager::AddFileEntry(const std::u16string& filePath, bool keepFullPath) {
  AddFileEntryAs(filePath, InternalEntryName(filePath, keepFullPath));
}

void CZipSaveManager::AddFileEntryAs(const std::u16string& filePath, const wxString& entryName) {
  wxLogNull quiet;
  // The file itself, not a stream over it: wx's streams clear the whole
  // buffer on every read. Whether it is a file is asked only when it cannot
  // be opened or read (a folder opens, but does not read): the callers list
  // or check their files just before.
  const FilePtr in = OpenFile(filePath, "rbe");
  copy_.resize(kCopyBuffer);
  std::size_t got = in ? std::fread(copy_.data(), 1, copy_.size(), in.get()) : 0;
  if (!in || std::ferror(in.get())) {
    if (!FileExists(filePath)) return;
    throw CArchiveError("The file '" + Utf8(filePath) + "' cannot be read.");
  }
  BeginEntry(entryName);
  for (;;) {
    if (got > 0 && !zip_->WriteAll(copy_.data(), got))
      throw CArchiveError("The data store cannot take the file '" + Utf8(filePath) + "' (is the disk full?).");
    // A short read has met the end: no further read to learn it again.
    if (got < copy_.size() && std::feof(in.get())) break;
    got = std::fread(copy_.data(), 1, copy_.size(), in.get());
    if (std::ferror(in.get())) throw CArchiveError("The file '" + Utf8(filePath) + "' cannot be read.");
    if (got == 0) break;
  }
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
  // The current second, as wxDateTime::Now() gives it, without its way
  // through mktime, which looks at the time zone file on every call.
  if (!zip_->PutNextEntry(entryName, wxDateTime(std::time(nullptr))))
    throw CArchiveError("The data store cannot take the entry '" + Utf8(entryName) + "'.");
  return *zip_;
}

void CZipSaveManager::Finish() {
  wxLogNull quiet;
  bool ok = zip_->Close();
  // Sync empties the buffer and flushes the file to the disk before it takes
  // the old one's place.
  buffer_->Sync();
  ok = ok && buffer_->IsOk() && file_->IsOk();
  ok = file_->Close() && ok;
  zip_.reset();
  buffer_.reset();
  file_.reset();
  if (!ok || !wxRenameFile(NativeName(newPath_), NativeName(archivePath_), true)) {
    DeleteFileW(newPath_.c_str());
    throw CArchiveError("The data store '" + Utf8(archivePath_) +
                        "' could not be written completely (is the disk full?).");
  }
  finished_ = true;
}

void SaveSet(const std::u16string& archivePath, const wxString& setName, const HandlerMap& handlers) {
  wxXmlDocument description;
  auto* root = new wxXmlNode(wxXML_ELEMENT_NODE, "appmanager");
  root->AddAttribute("version", "1");
  description.SetRoot(root);
  try {
    CZipSaveManager writer(archivePath);
    for (const auto& [name, handler] : handlers) handler->Save(writer, *root, setName);
    // Written out whole, then deflated in one piece: wx's XML writer hands
    // every name, value and quote to the stream on its own.
    wxMemoryOutputStream text;
    if (!description.Save(text) ||
        !writer.BeginEntry(kDescriptionEntry)
             .WriteAll(text.GetOutputStreamBuffer()->GetBufferStart(), static_cast<std::size_t>(text.GetLength())))
      throw CArchiveError("The data store's description cannot be written.");
    writer.Finish();
  } catch (const CArchiveError& error) {
    throw CArchiveError(std::string(error.what()) + " The previous data store is kept.");
  }
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
