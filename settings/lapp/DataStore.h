// The data-store archive: a scrambled zip file with an XML description that
// lists the saved items. A writer fills one archive, a reader takes entries
// out of one; the handlers of the items decide what goes in and comes out.
//
//   lapp::SaveSet(u"Z:\\p\\datastore\\data.db", "regentry_user", handlers);
//   lapp::LoadSet(u"Z:\\p\\datastore\\data.db", "regentry_user", handlers);
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include <wx/string.h>

class wxOutputStream;
class wxXmlDocument;
class wxXmlNode;

namespace lapp {

// An archive that cannot be read or written as a whole: its text names the
// archive or entry and what was wrong.
class CArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads entries of one archive.
class IDataLoadManager {
 public:
  // Deletes the reader's temporary folder (if one was made) and closes the archive.
  virtual ~IDataLoadManager() = default;
  // A folder of the reader's own, made on first request.
  virtual std::u16string GetTempFolder() = 0;
  // Replaces the file at `destination` by the entry's bytes, creating missing
  // folders. An entry that is missing, a link, larger than the reader allows
  // or damaged throws CArchiveError and leaves no file behind.
  virtual void ExtractEntry(const wxString& entryName, const std::u16string& destination) = 0;
  // The entry read as a UTF-8 XML document; null when the entry is missing
  // or is no XML.
  virtual std::unique_ptr<wxXmlDocument> LoadXml(const wxString& entryName) = 0;
  // True when the archive holds an entry of that name that is no folder
  // (a link is, so that extracting it names it).
  virtual bool HasEntry(const wxString& entryName) = 0;
};

// Writes one archive.
class IDataSaveManager {
 public:
  // Adds the file's bytes, under the internal form of its full path when
  // `keepFullPath` is true or of its file name alone; nothing when the file
  // does not exist.
  virtual void AddFileEntry(const std::u16string& filePath, bool keepFullPath) = 0;
  virtual ~IDataSaveManager() = default;
  // A path in the writer's temporary folder: prefix, the next number, suffix.
  virtual std::u16string MakeTempFilePath(const std::u16string& prefix, const std::u16string& suffix) = 0;
  // An entry name: prefix, the next number (shared with MakeTempFilePath), suffix.
  virtual wxString MakeEntryName(const wxString& prefix, const wxString& suffix) = 0;
  // Starts an entry; the caller writes its bytes into the stream returned.
  virtual wxOutputStream& BeginEntry(const wxString& entryName) = 0;
  // Adds the file's bytes under `entryName`; nothing when it does not exist.
  virtual void AddFileEntryAs(const std::u16string& filePath, const wxString& entryName) = 0;
};

// One item carried in the data store: saves it, restores it, removes it.
class IDataStoreHandler {
 public:
  virtual ~IDataStoreHandler() = default;
  virtual void Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) = 0;
  virtual void Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString& setName) = 0;
  virtual void Clean() = 0;
};

// The handlers of a manager by name, in ascending order of names compared
// by their UTF-16 code units.
using HandlerMap = std::map<std::u16string, std::unique_ptr<IDataStoreHandler>>;

// The entry that holds the description document.
inline constexpr const char* kDescriptionEntry = "@@portable@@_description.xml";

// Writes every handler's item of the set `setName` into a new archive that
// replaces the one at `archivePath` only once it is complete on disk.
void SaveSet(const std::u16string& archivePath, const wxString& setName, const HandlerMap& handlers);
// Restores the items of the set `setName` whose handlers are registered;
// code 17 when the archive does not exist.
void LoadSet(const std::u16string& archivePath, const wxString& setName, const HandlerMap& handlers);

// The archive's name for a file: the path's internal form, or the file name
// alone.
wxString InternalEntryName(const std::u16string& filePath, bool keepFullPath);
// The name an entry is found by: a name as the archive holds it ("a/b",
// "h:x/f") as it is, a platform path ("Z:\a\b") as the writer names that file.
wxString EntryLookupName(const wxString& entryName);
// True when `relative` names a place below a folder: no "..", no absolute
// path, no drive letter, nothing empty.
bool IsContainedRelativePath(const wxString& relative);

// Text conversions between the platform's UTF-16 paths and wx strings.
wxString ToWx(const std::u16string& text);
std::u16string FromWx(const wxString& text);

}  // namespace lapp
