// The help file for the user's language and the table that maps the engine's
// help contexts to pages inside it.
//
//   CString helpFile = ChooseHelpFile(candidates);
//   CHelpTopics topics;
//   record.helpTopics = topics.Fill(helpFile, texts);
#pragma once

#include <vector>

#include "compat/mfc/CString.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "shell/EngineTexts.h"

// What the choice of the help file depends on.
struct HelpFileChoice {
  CString langFolder;         // the "lang\" folder with its trailing backslash
  bool packCurrent = false;   // a language pack is current
  CString packFilePath;       // the current pack's file
  CString packHeader3;        // the current pack's third header string
  CString activeLanguage;     // the active language name
  CString defaultLanguage;    // the "DefaultLangID" setting
  CString defaultHelpFile;    // the "DefaultHelpFile" setting
  CString shortName;          // "Orbweave"
};

// The first candidate that exists in the "lang\" folder; empty when none does.
CString ChooseHelpFile(const HelpFileChoice& choice);

class CHelpTopics {
 public:
  static constexpr std::uint32_t kEntryCount = 85;

  // Writes the header and every entry for `helpFile`; texts live in `texts`.
  const HelpTopicTable* Fill(const CString& helpFile, CEngineTexts& texts);

 private:
  HelpTopicTable header_{};
  std::vector<HelpTopicEntry> entries_;
};
