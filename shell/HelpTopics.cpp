// Help file choice and the help topic table.
#include "shell/HelpTopics.h"

#include <algorithm>

#include "compat/win32/File.h"

namespace {

struct HelpTopic {
  std::uint32_t context;
  const char16_t* page;
};

// In the engine's index order; two pairs share a context number.
constexpr HelpTopic kHelpTopics[] = {
    {0, u"proginf.htm"},
    {600, u"Whatwouldyouliketodo.htm"},
    {10640, u"ba_playlists.htm"},
    {300, u"bd_writeoptions.htm"},
    {10650, u"ba_writeoptions.htm"},
    {10700, u"cd_writeoptions.htm"},
    {400, u"bd_writestatus.htm"},
    {10660, u"ba_writestatus.htm"},
    {10750, u"cd_writestatus.htm"},
    {500, u"bd_AddFilesandFolders.htm"},
    {10690, u"cd_selectdrive.htm"},
    {10710, u"cd_readingsource.htm"},
    {20640, u"img_selectimage.htm"},
    {20650, u"img_writeoptions.htm"},
    {20660, u"img_writestatus.htm"},
    {30635, u"di_selectdrive.htm"},
    {30650, u"di_options.htm"},
    {30710, u"di_status.htm"},
    {90640, u"vcd_movielist.htm"},
    {90700, u"vcd_writeoptions.htm"},
    {90750, u"vcd_writestatus.htm"},
    {91640, u"svcd_movielist.htm"},
    {91700, u"svcd_writeoptions.htm"},
    {91750, u"svcd_writestatus.htm"},
    {40500, u"movcd_AddFilesandFolders.htm"},
    {50500, u"muscd_AddFilesandFolders.htm"},
    {60500, u"mp3cd_AddFilesandFolders.htm"},
    {70710, u"erasecd_status.htm"},
    {40635, u"erasecd_selectdrive.htm"},
    {40300, u"movcd_writeoptions.htm"},
    {60300, u"mp3cd_writeoptions.htm"},
    {50300, u"muscd_writeoptions.htm"},
    {40400, u"movcd_writestatus.htm"},
    {60400, u"mp3cd_writestatus.htm"},
    {50400, u"muscd_writestatus.htm"},
    {80600, u"ci_selectproject.htm"},
    {80650, u"ci_options.htm"},
    {10635, u"bd_selectdrive.htm"},
    {61500, u"wmacd_AddFilesandFolders.htm"},
    {61300, u"wmacd_writeoptions.htm"},
    {61400, u"wmacd_writestatus.htm"},
    {70500, u"videots_selectfolder.htm"},
    {70300, u"videots_writeoptions.htm"},
    {70400, u"videots_writestatus.htm"},
    {100160, u"backup_project.htm"},
    {100270, u"backup_options.htm"},
    {100300, u"backup_writeoptions.htm"},
    {100400, u"backup_writestatus.htm"},
    {110150, u"restore_selectsource.htm"},
    {110250, u"restore_options.htm"},
    {110400, u"restore_writestatus.htm"},
    {120635, u"rip_selectsource.htm"},
    {120740, u"rip_selecttracks.htm"},
    {120300, u"rip_options.htm"},
    {120400, u"rip_ripstatus.htm"},
    {10670, u"ba_writeimagestatus.htm"},
    {670, u"bd_writeimagestatus.htm"},
    {90670, u"vcd_writeimagestatus.htm"},
    {91670, u"svcd_writeimagestatus.htm"},
    {40670, u"movcd_writeimagestatus.htm"},
    {60670, u"mp3cd_writeimagestatus.htm"},
    {50670, u"muscd_writeimagestatus.htm"},
    {61670, u"wmacd_writeimagestatus.htm"},
    {70670, u"videots_writeimagestatus.htm"},
    {120400, u"dvdvideo_writestatus.htm"},
    {130400, u"modcopy_writestatus.htm"},
    {120670, u"dvdvideo_writeimagestatus.htm"},
    {130300, u"modcopy_writeoptions.htm"},
    {120300, u"dvdvideo_writeoptions.htm"},
    {130410, u"modcopy_cachingstatus.htm"},
    {120640, u"dvdvideo_movielist.htm"},
    {120645, u"dvdvideo_preview.htm"},
    {120700, u"movie_format_options.htm"},
    {140400, u"expertdata_writestatus.htm"},
    {140670, u"expertdata_writeimagestatus.htm"},
    {140300, u"expertdata_writeoptions.htm"},
    {140275, u"expertdata_settings.htm"},
    {140276, u"expertdata_settings_boot.htm"},
    {140500, u"expertdata_AddFilesandFolders.htm"},
    {130500, u"modcopy_AddFilesandFolders.htm"},
    {62500, u"multiformatcd_AddFilesandFolders.htm"},
    {62300, u"multiformatcd_writeoptions.htm"},
    {62400, u"multiformatcd_writestatus.htm"},
    {62670, u"multiformatcd_writeimagestatus.htm"},
    {62700, u"multiformatcd_chooseformat.htm"},
};
static_assert(std::size(kHelpTopics) == CHelpTopics::kEntryCount);

bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The file name without folder and extension.
CString BaseName(const CString& path) {
  CString name = path.Mid(std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/')) + 1);
  const int dot = name.ReverseFind(u'.');
  return dot < 0 ? name : name.Left(dot);
}

}  // namespace

CString ChooseHelpFile(const HelpFileChoice& choice) {
  std::vector<CString> names;
  names.push_back((choice.packCurrent ? BaseName(choice.packFilePath) : choice.activeLanguage) +
                  u".chm");
  names.push_back(choice.shortName + u"-" + choice.activeLanguage + u".chm");
  if (choice.packCurrent) names.push_back(choice.shortName + u"-" + choice.packHeader3 + u".chm");
  names.push_back(choice.shortName + u"-" + choice.defaultLanguage + u".chm");
  names.push_back(choice.defaultHelpFile);
  names.push_back(u"english.chm");
  // The same name often comes twice (the pack's language and the default
  // both English): a file found missing is not looked for again.
  for (auto name = names.begin(); name != names.end(); ++name) {
    if (std::find(names.begin(), name, *name) != name) continue;
    const CString path = choice.langFolder + *name;
    if (Exists(path)) return path;
  }
  return CString();
}

const HelpTopicTable* CHelpTopics::Fill(const CString& helpFile, CEngineTexts& texts) {
  entries_.clear();
  entries_.reserve(kEntryCount);
  for (const HelpTopic& topic : kHelpTopics) {
    entries_.push_back(
        HelpTopicEntry{0, topic.context, texts.PlaceJoined({helpFile.str(), u"::/", topic.page})});
  }
  header_ = HelpTopicTable{kHelpTopicTableTag, kEntryCount, entries_.data(), 0, texts.Place(helpFile)};
  return &header_;
}
