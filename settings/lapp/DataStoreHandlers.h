// The items the portable edition carries: one file, one folder with every
// file below it, one registry key with its subtree. Each writes one element
// of the description ("type", "name", "available", "destination") and the
// item's bytes; flags: 1 save at Stop, 2 remove from the machine, 4 restore.
#pragma once

#include <cstdint>
#include <string>

#include "settings/lapp/DataStore.h"

namespace lapp {

// What the file and the folder handler share: the item's path and flags.
class CPathHandler : public IDataStoreHandler {
 public:
  CPathHandler(std::u16string path, std::int32_t flags) : path_(std::move(path)), flags_(flags) {}

 protected:
  std::u16string path_;
  std::int32_t flags_;
};

class CFileHandler final : public CPathHandler {
 public:
  using CPathHandler::CPathHandler;
  void Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) override;
  void Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString& setName) override;
  void Clean() override;
};

// `path` ends with a backslash. Entries are named by the files' full paths;
// on loading, an entry that does not lie below the folder is refused.
class CFolderHandler final : public CPathHandler {
 public:
  using CPathHandler::CPathHandler;
  void Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) override;
  void Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString& setName) override;
  void Clean() override;
};

// Exports and imports the key with the registry tool ("/a" to a registry
// file, "/s" from one), waiting at most 30 seconds for it.
class CRegistrySectionHandler final : public IDataStoreHandler {
 public:
  CRegistrySectionHandler(std::u16string rootName, std::u16string keyPath, std::int32_t flags)
      : rootName_(std::move(rootName)), keyPath_(std::move(keyPath)), flags_(flags) {}
  void Save(IDataSaveManager& writer, wxXmlNode& parent, const wxString& setName) override;
  void Load(IDataLoadManager& reader, const wxXmlNode& element, const wxString& setName) override;
  void Clean() override;

 private:
  std::u16string Name() const { return rootName_ + u"\\" + keyPath_; }

  std::u16string rootName_;
  std::u16string keyPath_;
  std::int32_t flags_;
};

// Runs the program found on the search path by `programName` with
// `arguments` (no shell, no inherited handles) and waits for it at most
// `seconds`; false when it was not found or did not start.
bool RunProgramAndWait(const std::u16string& programName, const std::u16string& arguments, int seconds);

}  // namespace lapp
