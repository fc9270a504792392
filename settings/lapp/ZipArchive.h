// The zip reader and writer of the data store, over the scrambling file streams.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <wx/hashmap.h>

#include "compat/win32/Time.h"
#include "settings/lapp/DataStore.h"

class wxInputStream;
class wxBufferedOutputStream;
class wxZipEntry;
class wxZipInputStream;
class wxZipOutputStream;

namespace lapp {

class CCryptedInputFileStream;
class CCryptedOutputFileStream;

class CZipLoadManager final : public IDataLoadManager {
 public:
  // Reads every entry header once; code 17 when the file does not exist,
  // CArchiveError when it is no archive.
  explicit CZipLoadManager(const std::u16string& archivePath);
  ~CZipLoadManager() override;

  std::u16string GetTempFolder() override;
  void ExtractEntry(const wxString& entryName, const std::u16string& destination) override;
  std::unique_ptr<wxXmlDocument> LoadXml(const wxString& entryName) override;
  bool HasEntry(const wxString& entryName) override;

  struct EntryInfo {
    wxString name;      // the internal name
    std::int64_t size;  // as declared; -1 when unknown
    bool folder;
  };
  // True when the description entry reads as an XML document.
  bool HasReadableDescription();
  // Every entry, in the order of names.
  std::vector<EntryInfo> Entries() const;

  // The most that one reader extracts in all; beyond it a hostile archive
  // would only fill the disk.
  void SetExtractLimit(std::uint64_t bytes) { remaining_ = bytes; }

 private:
  wxZipEntry* Find(const wxString& entryName, bool forExtraction);

  // The zip reader turns every header's date into a time (twice for an
  // entry it opens) through mktime, which would look at the zone file each time.
  compat::win32::ScopedTimeZoneFile timeZone_;
  std::u16string archivePath_;
  std::unique_ptr<CCryptedInputFileStream> file_;
  // Between the file and the zip reader, which reads headers a field at a
  // time: few large reads instead.
  std::unique_ptr<wxInputStream> buffer_;
  std::unique_ptr<wxZipInputStream> zip_;
  std::vector<char> copy_;
  // Looked up by name twice for every entry extracted: hashed.
  std::unordered_map<wxString, std::unique_ptr<wxZipEntry>, wxStringHash, wxStringEqual> entries_;
  std::set<wxString> links_;  // the entries made as symbolic links
  std::u16string tempFolder_;
  std::u16string lastFolder_;  // where the last entry went, made or found
  std::uint64_t remaining_ = std::uint64_t{2} << 30;
};

class CZipSaveManager final : public IDataSaveManager {
 public:
  // Writes into a new file beside `archivePath`; the old archive stays as it
  // is until Finish.
  explicit CZipSaveManager(const std::u16string& archivePath);
  // Completes the archive as Finish does (a failure keeps the old one), unless
  // an exception is leaving the scope: then the new file is thrown away.
  ~CZipSaveManager() override;

  void AddFileEntry(const std::u16string& filePath, bool keepFullPath) override;
  std::u16string MakeTempFilePath(const std::u16string& prefix, const std::u16string& suffix) override;
  wxString MakeEntryName(const wxString& prefix, const wxString& suffix) override;
  wxOutputStream& BeginEntry(const wxString& entryName) override;
  void AddFileEntryAs(const std::u16string& filePath, const wxString& entryName) override;

  // Completes the archive, flushes it to the disk and renames it over the
  // old one. On failure the old archive is left whole and CArchiveError says so.
  void Finish();

 private:
  std::u16string archivePath_;
  std::u16string newPath_;
  std::unique_ptr<CCryptedOutputFileStream> file_;
  // The zip writer writes headers a field at a time; the buffer turns those
  // writes into few large ones.
  std::unique_ptr<wxBufferedOutputStream> buffer_;
  std::unique_ptr<wxZipOutputStream> zip_;
  std::vector<char> copy_;
  std::u16string tempFolder_;
  int counter_ = 0;
  bool finished_ = false;
  // Exceptions in flight when the writer was made: more at its end means
  // that it is being unwound.
  const int uncaught_ = std::uncaught_exceptions();
};

}  // namespace lapp
