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
#include <cstring>

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

// The launch record's fields, in order, written once: the struct, the checks
// of the 32-bit layout, the constants the shell sets, the engine's dump and
// the tests all expand this list.
//   FIELD(type, name, offset, kind)  a field the shell fills from its state;
//                                    `kind` says how the engine's dump reads it
//   CONSTANT(name, offset, value)    a 32-bit slot that always holds `value`
//   ZEROS(name, offset, count)       `count` 32-bit slots that always hold 0
// Offsets are those of the 32-bit layout. The constants without a name have
// no meaning to the shell; only the engine gives them one.
#define IGNIS_LAUNCH_RECORD(FIELD, CONSTANT, ZEROS)                              \
  CONSTANT(layoutTag, 0, kLaunchRecordTag)                                       \
  FIELD(IgnisText, settingsKey, 4, Text)                                         \
  CONSTANT(registryRoot, 8, 0x80000001u) /* HKEY_CURRENT_USER */                 \
  FIELD(IgnisText, languageName, 12, Text)                                       \
  FIELD(HICON, largeIcon, 16, Set)                                               \
  FIELD(HICON, smallIcon, 20, Set)                                               \
  FIELD(HINSTANCE, instance, 24, Set)                                            \
  FIELD(IgnisText, displayName, 28, Text)                                        \
  FIELD(IgnisText, aboutMarkup, 32, Text)                                        \
  CONSTANT(value36, 36, 0)                                                       \
  FIELD(IgnisMenuCommandProc, menuCommand, 40, Set)                              \
  FIELD(IgnisMenuBuildProc, menuBuild, 44, Set)                                  \
  CONSTANT(featureMask48, 48, 0x3FFF0DFFu)                                       \
  FIELD(std::uint32_t, taskCode, 52, U32)                                        \
  FIELD(std::uint32_t, startMode, 56, U32)                                       \
  FIELD(void*, taskInput, 60, TaskInput)                                         \
  FIELD(const HelpTopicTable*, helpTopics, 64, HelpTopics)                       \
  CONSTANT(value68, 68, 0)                                                       \
  FIELD(IgnisText, languagePackPath, 72, Text)                                   \
  ZEROS(value76, 76, 8)                                                          \
  FIELD(IgnisText, reportTitle, 108, Text)                                       \
  FIELD(IgnisText, reportUrl, 112, Text)                                         \
  FIELD(IgnisText, reportContentType, 116, Text)                                 \
  ZEROS(value120, 120, 3)                                                        \
  CONSTANT(color132, 132, 0xFFFFFFu)                                             \
  CONSTANT(value136, 136, 1)                                                     \
  CONSTANT(value140, 140, 3)                                                     \
  FIELD(IgnisText, version, 144, Text)                                           \
  CONSTANT(value148, 148, 1)                                                     \
  CONSTANT(value152, 152, 0)                                                     \
  CONSTANT(color156, 156, 0x1F1811u)                                             \
  ZEROS(value160, 160, 2)                                                        \
  FIELD(IgnisText, productCode, 168, Text) /* null when empty */                 \
  FIELD(IgnisText, edition, 172, Text)                                           \
  CONSTANT(value176, 176, 0)                                                     \
  CONSTANT(color180, 180, 0xFFFFFFu)                                             \
  CONSTANT(color184, 184, 0x513E2Du)                                             \
  CONSTANT(value188, 188, 8)                                                     \
  CONSTANT(value192, 192, 321)                                                   \
  CONSTANT(value196, 196, 576)                                                   \
  CONSTANT(value200, 200, 339)                                                   \
  CONSTANT(value204, 204, 2086)                                                  \
  CONSTANT(value208, 208, 3)                                                     \
  FIELD(const LOGFONTW*, font, 212, Font)                                        \
  CONSTANT(featureMask216, 216, 0x1CFFBBFFu)                                     \
  FIELD(const char16_t*, supportEmail, 220, Wide)                                \
  CONSTANT(color224, 224, 0x513E2Du)                                             \
  FIELD(IgnisIdleProc, idle, 228, Set)                                           \
  FIELD(IgnisText, selectedDrive, 232, Text) /* null unless -selectdrive */      \
  CONSTANT(value236, 236, 2006)                                                  \
  FIELD(IgnisText, reportTaskDescription, 240, Text)                             \
  FIELD(IgnisText, reportExplanation, 244, Text)                                 \
  CONSTANT(value248, 248, 0)                                                     \
  FIELD(IgnisText, reportTransform, 252, Text)                                   \
  CONSTANT(featureMask256, 256, 0xDEEFu)                                         \
  ZEROS(value260, 260, 3)                                                        \
  FIELD(const char16_t*, upgradeName, 272, Wide) /* null unless NT family */     \
  CONSTANT(value276, 276, 0)                                                     \
  FIELD(IgnisText, shortName, 280, Text)                                         \
  FIELD(IgnisText, fullVersion, 284, Text)                                       \
  FIELD(void*, appManager, 288, Set)

#define IGNIS_MEMBER(type, name, offset, kind) type name;
#define IGNIS_CONSTANT_MEMBER(name, offset, value) std::uint32_t name;
#define IGNIS_ZEROS_MEMBER(name, offset, count) std::uint32_t name[count];
struct LaunchRecord {
  IGNIS_LAUNCH_RECORD(IGNIS_MEMBER, IGNIS_CONSTANT_MEMBER, IGNIS_ZEROS_MEMBER)
};
#undef IGNIS_MEMBER
#undef IGNIS_CONSTANT_MEMBER
#undef IGNIS_ZEROS_MEMBER

// Exports of "orbcore.dll".
// Exports of "orbcore.dll".
using StartIgnisProc = void(WINAPI*)(LaunchRecord* record, void** results);
using FreeIgnisResultsProc = void(WINAPI*)(void* results);
using GetOWMainWindowProc = HWND(WINAPI*)();

}  // extern "C"

// The slots of the launch record that hold the same value in every run:
// where they sit (32-bit layout and this build's), how many 32-bit slots,
// and the value of each.
struct IgnisConstantSlots {
  unsigned offset;
  std::size_t host;
  unsigned count;
  std::uint32_t value;
};

#define IGNIS_NO_FIELD(type, name, offset, kind)
#define IGNIS_CONSTANT_SLOT(name, offset, value) IgnisConstantSlots{offset, offsetof(LaunchRecord, name), 1, value},
#define IGNIS_ZEROS_SLOT(name, offset, count) IgnisConstantSlots{offset, offsetof(LaunchRecord, name), count, 0},
inline constexpr IgnisConstantSlots kLaunchRecordConstants[] = {
    IGNIS_LAUNCH_RECORD(IGNIS_NO_FIELD, IGNIS_CONSTANT_SLOT, IGNIS_ZEROS_SLOT)};
#undef IGNIS_NO_FIELD
#undef IGNIS_CONSTANT_SLOT
#undef IGNIS_ZEROS_SLOT

// Sets every constant slot of `record`; the rest is left as it is.
inline void SetLaunchRecordConstants(LaunchRecord& record) {
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  for (const IgnisConstantSlots& slots : kLaunchRecordConstants) {
    for (unsigned i = 0; i < slots.count; ++i) std::memcpy(bytes + slots.host + 4 * i, &slots.value, 4);
  }
}

namespace ignis_layout {
// The list's offsets follow each other in 4-byte steps from 0 to 288, on
// every target, so a slip in the list is caught where the record is built.
struct Step {
  unsigned offset;
  unsigned slots;
};
#define IGNIS_FIELD_STEP(type, name, offset, kind) Step{offset, 1},
#define IGNIS_CONSTANT_STEP(name, offset, value) Step{offset, 1},
#define IGNIS_ZEROS_STEP(name, offset, count) Step{offset, count},
inline constexpr Step kSteps[] = {IGNIS_LAUNCH_RECORD(IGNIS_FIELD_STEP, IGNIS_CONSTANT_STEP, IGNIS_ZEROS_STEP)};
#undef IGNIS_FIELD_STEP
#undef IGNIS_CONSTANT_STEP
#undef IGNIS_ZEROS_STEP
constexpr bool Contiguous() {
  unsigned next = 0;
  for (const Step& step : kSteps) {
    if (step.offset != next) return false;
    next += 4 * step.slots;
  }
  return next == 292;
}
static_assert(Contiguous(), "the launch record's offsets run in 4-byte steps to 292 bytes");
}  // namespace ignis_layout

#if UINTPTR_MAX == 0xFFFFFFFFu
// The engine reads these records at fixed 32-bit offsets.
#define IGNIS_AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
static_assert(sizeof(LaunchRecord) == 292, "LaunchRecord is 73 fields of 32 bits");
static_assert(sizeof(HelpTopicTable) == 20 && sizeof(HelpTopicEntry) == 12);
static_assert(sizeof(AudioCdListInput) == 12 && sizeof(DataDiscListInput) == 16);
static_assert(sizeof(DataDiscItem) == 12 && sizeof(ProjectFileInput) == 8);
#define IGNIS_FIELD_AT(type, name, offset, kind) IGNIS_AT(LaunchRecord, name, offset);
#define IGNIS_SLOT_AT(name, offset, value) IGNIS_AT(LaunchRecord, name, offset);
IGNIS_LAUNCH_RECORD(IGNIS_FIELD_AT, IGNIS_SLOT_AT, IGNIS_SLOT_AT)
#undef IGNIS_FIELD_AT
#undef IGNIS_SLOT_AT
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
