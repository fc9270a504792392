// The burn engine's side of the hand-over: the launch record, the help topic
// table, the task inputs and the exports and callbacks. The shell and the
// engine share this header, so on x86-64 they agree on 8-byte pointers; on a
// 32-bit target every record below is byte for byte the engine's 32-bit
// layout, which the static_asserts at the end check.
//
//   LaunchRecord record{};
//   record.layoutTag = kLaunchRecordTag;
//   void* results = nullptr;
//   startIgnis(&record, &results);   // returns when the user closes the window
//   freeIgnisResults(results);
#pragma once

#include <cstddef>
#include <cstdint>

#include "compat/win32/Gdi.h"
#include "compat/win32/WinTypes.h"

extern "C" {

// Texts are `const void*`: UTF-16 on the NT family, ANSI in the system code
// page otherwise. Fields typed `const char16_t*` are UTF-16 always.
using IgnisText = const void*;

using IgnisMenuCommandProc = std::uint32_t(WINAPI*)(std::uint32_t command, std::uint32_t unused);
using IgnisMenuBuildProc = void(WINAPI*)(HMENU menuBar);
using IgnisIdleProc = void(WINAPI*)(std::uint32_t unused);

enum : std::uint32_t {
  kLaunchRecordTag = 22,
  kHelpTopicTableTag = 2,
};

// TaskCode values the shell produces.
enum : std::uint32_t {
  kTaskAudioCd = 0,
  kTaskDataDisc = 1,
  kTaskCopyDisc = 3,
  kTaskOpenProject = 11,
  kTaskRestoreBackup = 16,
  kTaskRipAudioCd = 17,
};

// startMode values.
enum : std::uint32_t {
  kStartNormal = 0,
  kStartWithInput = 1,
  kStartDataDiscList = 2,
};

struct HelpTopicEntry {
  std::uint32_t reserved;  // 0
  std::uint32_t context;   // the engine's help context number
  IgnisText topic;         // help file path + "::/" + page
};

struct HelpTopicTable {
  std::uint32_t layoutTag;  // 2
  std::uint32_t count;
  const HelpTopicEntry* entries;
  std::uint32_t reserved;  // 0
  IgnisText helpFile;
};

struct AudioCdListInput {
  std::uint32_t reserved;  // 0
  std::uint32_t count;
  IgnisText* paths;
};

enum : std::uint32_t {
  kDataItemFile = 0,
  kDataItemFolder = 3,
};

struct DataDiscItem {
  std::uint32_t kind;            // kDataItemFile or kDataItemFolder
  IgnisText path;                // a folder's path ends with "\*.*"
  const char16_t* targetFolder;  // always u"\\"
};

struct DataDiscListInput {
  std::uint32_t reserved0;  // 0
  std::uint32_t reserved1;  // 0
  std::uint32_t count;
  DataDiscItem* items;
};

struct ProjectFileInput {
  std::uint32_t reserved;  // 0
  IgnisText path;
};

// Field names after the byte offset in the 32-bit layout where a field has
// no meaning to the shell; only the engine gives those values meaning.
struct LaunchRecord {
  std::uint32_t layoutTag;               //   0: 22
  IgnisText settingsKey;                 //   4
  std::uint32_t registryRoot;            //   8: 0x80000001 (HKEY_CURRENT_USER)
  IgnisText languageName;                //  12
  HICON largeIcon;                       //  16
  HICON smallIcon;                       //  20
  HINSTANCE instance;                    //  24
  IgnisText displayName;                 //  28
  IgnisText aboutMarkup;                 //  32
  std::uint32_t value36;                 //  36: 0
  IgnisMenuCommandProc menuCommand;      //  40
  IgnisMenuBuildProc menuBuild;          //  44
  std::uint32_t featureMask48;           //  48: 0x3FFF0DFF
  std::uint32_t taskCode;                //  52
  std::uint32_t startMode;               //  56
  void* taskInput;                       //  60
  const HelpTopicTable* helpTopics;      //  64
  std::uint32_t value68;                 //  68: 0
  IgnisText languagePackPath;            //  72
  std::uint32_t value76[8];              //  76..104: 0
  IgnisText reportTitle;                 // 108
  IgnisText reportUrl;                   // 112
  IgnisText reportContentType;           // 116
  std::uint32_t value120[3];             // 120..128: 0
  std::uint32_t color132;                // 132: 0xFFFFFF
  std::uint32_t value136;                // 136: 1
  std::uint32_t value140;                // 140: 3
  IgnisText version;                     // 144
  std::uint32_t value148;                // 148: 1
  std::uint32_t value152;                // 152: 0
  std::uint32_t color156;                // 156: 0x1F1811
  std::uint32_t value160[2];             // 160, 164: 0
  IgnisText productCode;                 // 168: null when empty
  IgnisText edition;                     // 172
  std::uint32_t value176;                // 176: 0
  std::uint32_t color180;                // 180: 0xFFFFFF
  std::uint32_t color184;                // 184: 0x513E2D
  std::uint32_t value188;                // 188: 8
  std::uint32_t value192;                // 192: 321
  std::uint32_t value196;                // 196: 576
  std::uint32_t value200;                // 200: 339
  std::uint32_t value204;                // 204: 2086
  std::uint32_t value208;                // 208: 3
  const LOGFONTW* font;                  // 212
  std::uint32_t featureMask216;          // 216: 0x1CFFBBFF
  const char16_t* supportEmail;          // 220
  std::uint32_t color224;                // 224: 0x513E2D
  IgnisIdleProc idle;                    // 228
  IgnisText selectedDrive;               // 232: null unless -selectdrive
  std::uint32_t value236;                // 236: 2006
  IgnisText reportTaskDescription;       // 240
  IgnisText reportExplanation;           // 244
  std::uint32_t value248;                // 248: 0
  IgnisText reportTransform;             // 252
  std::uint32_t featureMask256;          // 256: 0xDEEF
  std::uint32_t value260[3];             // 260..268: 0
  const char16_t* upgradeName;           // 272: null unless NT family
  std::uint32_t value276;                // 276: 0
  IgnisText shortName;                   // 280
  IgnisText fullVersion;                 // 284
  void* appManager;                      // 288
};

// Exports of "orbcore.dll".
using StartIgnisProc = void(WINAPI*)(LaunchRecord* record, void** results);
using FreeIgnisResultsProc = void(WINAPI*)(void* results);
using GetOWMainWindowProc = HWND(WINAPI*)();

}  // extern "C"

#if UINTPTR_MAX == 0xFFFFFFFFu
// The engine reads these records at fixed 32-bit offsets.
#define IGNIS_AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
static_assert(sizeof(LaunchRecord) == 292, "LaunchRecord is 73 fields of 32 bits");
static_assert(sizeof(HelpTopicTable) == 20 && sizeof(HelpTopicEntry) == 12);
static_assert(sizeof(AudioCdListInput) == 12 && sizeof(DataDiscListInput) == 16);
static_assert(sizeof(DataDiscItem) == 12 && sizeof(ProjectFileInput) == 8);
IGNIS_AT(LaunchRecord, layoutTag, 0);
IGNIS_AT(LaunchRecord, settingsKey, 4);
IGNIS_AT(LaunchRecord, registryRoot, 8);
IGNIS_AT(LaunchRecord, languageName, 12);
IGNIS_AT(LaunchRecord, largeIcon, 16);
IGNIS_AT(LaunchRecord, smallIcon, 20);
IGNIS_AT(LaunchRecord, instance, 24);
IGNIS_AT(LaunchRecord, displayName, 28);
IGNIS_AT(LaunchRecord, aboutMarkup, 32);
IGNIS_AT(LaunchRecord, value36, 36);
IGNIS_AT(LaunchRecord, menuCommand, 40);
IGNIS_AT(LaunchRecord, menuBuild, 44);
IGNIS_AT(LaunchRecord, featureMask48, 48);
IGNIS_AT(LaunchRecord, taskCode, 52);
IGNIS_AT(LaunchRecord, startMode, 56);
IGNIS_AT(LaunchRecord, taskInput, 60);
IGNIS_AT(LaunchRecord, helpTopics, 64);
IGNIS_AT(LaunchRecord, value68, 68);
IGNIS_AT(LaunchRecord, languagePackPath, 72);
IGNIS_AT(LaunchRecord, value76, 76);
IGNIS_AT(LaunchRecord, reportTitle, 108);
IGNIS_AT(LaunchRecord, reportUrl, 112);
IGNIS_AT(LaunchRecord, reportContentType, 116);
IGNIS_AT(LaunchRecord, value120, 120);
IGNIS_AT(LaunchRecord, color132, 132);
IGNIS_AT(LaunchRecord, value136, 136);
IGNIS_AT(LaunchRecord, value140, 140);
IGNIS_AT(LaunchRecord, version, 144);
IGNIS_AT(LaunchRecord, value148, 148);
IGNIS_AT(LaunchRecord, value152, 152);
IGNIS_AT(LaunchRecord, color156, 156);
IGNIS_AT(LaunchRecord, value160, 160);
IGNIS_AT(LaunchRecord, productCode, 168);
IGNIS_AT(LaunchRecord, edition, 172);
IGNIS_AT(LaunchRecord, value176, 176);
IGNIS_AT(LaunchRecord, color180, 180);
IGNIS_AT(LaunchRecord, color184, 184);
IGNIS_AT(LaunchRecord, value188, 188);
IGNIS_AT(LaunchRecord, value192, 192);
IGNIS_AT(LaunchRecord, value196, 196);
IGNIS_AT(LaunchRecord, value200, 200);
IGNIS_AT(LaunchRecord, value204, 204);
IGNIS_AT(LaunchRecord, value208, 208);
IGNIS_AT(LaunchRecord, font, 212);
IGNIS_AT(LaunchRecord, featureMask216, 216);
IGNIS_AT(LaunchRecord, supportEmail, 220);
IGNIS_AT(LaunchRecord, color224, 224);
IGNIS_AT(LaunchRecord, idle, 228);
IGNIS_AT(LaunchRecord, selectedDrive, 232);
IGNIS_AT(LaunchRecord, value236, 236);
IGNIS_AT(LaunchRecord, reportTaskDescription, 240);
IGNIS_AT(LaunchRecord, reportExplanation, 244);
IGNIS_AT(LaunchRecord, value248, 248);
IGNIS_AT(LaunchRecord, reportTransform, 252);
IGNIS_AT(LaunchRecord, featureMask256, 256);
IGNIS_AT(LaunchRecord, value260, 260);
IGNIS_AT(LaunchRecord, upgradeName, 272);
IGNIS_AT(LaunchRecord, value276, 276);
IGNIS_AT(LaunchRecord, shortName, 280);
IGNIS_AT(LaunchRecord, fullVersion, 284);
IGNIS_AT(LaunchRecord, appManager, 288);
IGNIS_AT(HelpTopicTable, count, 4);
IGNIS_AT(HelpTopicTable, entries, 8);
IGNIS_AT(HelpTopicTable, helpFile, 16);
IGNIS_AT(DataDiscItem, path, 4);
IGNIS_AT(DataDiscItem, targetFolder, 8);
IGNIS_AT(DataDiscListInput, items, 12);
IGNIS_AT(AudioCdListInput, paths, 8);
IGNIS_AT(ProjectFileInput, path, 4);
#undef IGNIS_AT
#endif
