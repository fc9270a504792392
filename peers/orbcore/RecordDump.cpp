// One table per record layout drives the dump, so each field's offset and
// reading is written once.
#include "peers/orbcore/RecordDump.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <span>
#include <string>

#include "peers/orbcore/TaskInput.h"

namespace orbcore {

namespace {

enum class Kind {
  U32,         // a 32-bit number; `slots` of them for an array
  I32,         // a signed 32-bit number (LOGFONTW's LONGs)
  U8,          // a byte
  Text,        // a record text in the text form
  Wide,        // a text that is UTF-16 always
  FaceName,    // LOGFONTW's inline face name
  Set,         // a handle, callback or opaque pointer: true when set
  Struct,      // a pointer to one nested record
  StructList,  // a pointer to `count` nested records
  TextList,    // a pointer to `count` texts
  TaskInput,   // a pointer whose layout the task code decides
};

struct Field {
  unsigned at;          // offset in the 32-bit layout
  Kind kind;
  std::size_t host;     // offset in this build's layout
  unsigned slots = 1;   // U32 arrays: one member per 32-bit slot
  const Field* nested = nullptr;  // Struct, StructList: the nested layout
  std::size_t nestedFields = 0;
  std::size_t nestedSize = 0;  // StructList: the size of one element here
  std::size_t countHost = 0;   // StructList, TextList: where the count sits
};

template <typename T>
T Read(const void* base, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof(T));
  return value;
}

#define ORB_FIELD(type, kind, member, at) Field{at, Kind::kind, offsetof(type, member)}
#define ORB_SLOTS(type, member, at) \
  Field{at, Kind::U32, offsetof(type, member), static_cast<unsigned>(sizeof(type::member) / 4)}
#define ORB_STRUCT(type, member, at, table) \
  Field{at, Kind::Struct, offsetof(type, member), 1, table, std::size(table)}
#define ORB_LIST(type, member, at, table, element, count)                                         \
  Field{at, Kind::StructList, offsetof(type, member), 1, table, std::size(table), sizeof(element), \
        offsetof(type, count)}
#define ORB_TEXTS(type, member, at, count) \
  Field{at, Kind::TextList, offsetof(type, member), 1, nullptr, 0, 0, offsetof(type, count)}

constexpr Field kHelpEntry[] = {
    ORB_FIELD(HelpTopicEntry, U32, reserved, 0),
    ORB_FIELD(HelpTopicEntry, U32, context, 4),
    ORB_FIELD(HelpTopicEntry, Text, topic, 8),
};

constexpr Field kHelpTable[] = {
    ORB_FIELD(HelpTopicTable, U32, layoutTag, 0),
    ORB_FIELD(HelpTopicTable, U32, count, 4),
    ORB_LIST(HelpTopicTable, entries, 8, kHelpEntry, HelpTopicEntry, count),
    ORB_FIELD(HelpTopicTable, U32, reserved, 12),
    ORB_FIELD(HelpTopicTable, Text, helpFile, 16),
};

constexpr Field kAudioList[] = {
    ORB_FIELD(AudioCdListInput, U32, reserved, 0),
    ORB_FIELD(AudioCdListInput, U32, count, 4),
    ORB_TEXTS(AudioCdListInput, paths, 8, count),
};

constexpr Field kDataItem[] = {
    ORB_FIELD(DataDiscItem, U32, kind, 0),
    ORB_FIELD(DataDiscItem, Text, path, 4),
    ORB_FIELD(DataDiscItem, Wide, targetFolder, 8),
};

constexpr Field kDataList[] = {
    ORB_FIELD(DataDiscListInput, U32, reserved0, 0),
    ORB_FIELD(DataDiscListInput, U32, reserved1, 4),
    ORB_FIELD(DataDiscListInput, U32, count, 8),
    ORB_LIST(DataDiscListInput, items, 12, kDataItem, DataDiscItem, count),
};

constexpr Field kProject[] = {
    ORB_FIELD(ProjectFileInput, U32, reserved, 0),
    ORB_FIELD(ProjectFileInput, Text, path, 4),
};

constexpr Field kFont[] = {
    ORB_FIELD(LOGFONTW, I32, lfHeight, 0),
    ORB_FIELD(LOGFONTW, I32, lfWidth, 4),
    ORB_FIELD(LOGFONTW, I32, lfEscapement, 8),
    ORB_FIELD(LOGFONTW, I32, lfOrientation, 12),
    ORB_FIELD(LOGFONTW, I32, lfWeight, 16),
    ORB_FIELD(LOGFONTW, U8, lfItalic, 20),
    ORB_FIELD(LOGFONTW, U8, lfUnderline, 21),
    ORB_FIELD(LOGFONTW, U8, lfStrikeOut, 22),
    ORB_FIELD(LOGFONTW, U8, lfCharSet, 23),
    ORB_FIELD(LOGFONTW, U8, lfOutPrecision, 24),
    ORB_FIELD(LOGFONTW, U8, lfClipPrecision, 25),
    ORB_FIELD(LOGFONTW, U8, lfQuality, 26),
    ORB_FIELD(LOGFONTW, U8, lfPitchAndFamily, 27),
    ORB_FIELD(LOGFONTW, FaceName, lfFaceName, 28),
};

// The launch record from its one field list: each kind of field becomes the
// dump field that reads it.
#define ORB_KIND_U32(name, at) ORB_FIELD(LaunchRecord, U32, name, at)
#define ORB_KIND_Text(name, at) ORB_FIELD(LaunchRecord, Text, name, at)
#define ORB_KIND_Wide(name, at) ORB_FIELD(LaunchRecord, Wide, name, at)
#define ORB_KIND_Set(name, at) ORB_FIELD(LaunchRecord, Set, name, at)
#define ORB_KIND_TaskInput(name, at) ORB_FIELD(LaunchRecord, TaskInput, name, at)
#define ORB_KIND_HelpTopics(name, at) ORB_STRUCT(LaunchRecord, name, at, kHelpTable)
#define ORB_KIND_Font(name, at) ORB_STRUCT(LaunchRecord, name, at, kFont)
#define ORB_RECORD_FIELD(type, name, at, kind) ORB_KIND_##kind(name, at),
#define ORB_RECORD_CONSTANT(name, at, value) ORB_FIELD(LaunchRecord, U32, name, at),
#define ORB_RECORD_ZEROS(name, at, count) ORB_SLOTS(LaunchRecord, name, at),
constexpr Field kLaunchRecord[] = {
    IGNIS_LAUNCH_RECORD(ORB_RECORD_FIELD, ORB_RECORD_CONSTANT, ORB_RECORD_ZEROS)};
#undef ORB_KIND_U32
#undef ORB_KIND_Text
#undef ORB_KIND_Wide
#undef ORB_KIND_Set
#undef ORB_KIND_TaskInput
#undef ORB_KIND_HelpTopics
#undef ORB_KIND_Font
#undef ORB_RECORD_FIELD
#undef ORB_RECORD_CONSTANT
#undef ORB_RECORD_ZEROS

#undef ORB_FIELD
#undef ORB_SLOTS
#undef ORB_STRUCT
#undef ORB_LIST
#undef ORB_TEXTS

class Dumper {
 public:
  Dumper(const LaunchRecord& record, TextForm form) : record_(record), form_(form) {}

  JsonValue Struct(const void* base, std::span<const Field> fields) const {
    JsonValue out = JsonValue::Object();
    for (const Field& f : fields) {
      for (unsigned slot = 0; slot < f.slots; ++slot) {
        out.Set(std::to_string(f.at + 4 * slot), Member(base, f, f.host + 4 * slot));
      }
    }
    return out;
  }

 private:
  JsonValue Member(const void* base, const Field& f, std::size_t host) const {
    switch (f.kind) {
      case Kind::U32: return Read<std::uint32_t>(base, host);
      case Kind::I32: return Read<std::int32_t>(base, host);
      case Kind::U8: return Read<std::uint8_t>(base, host);
      case Kind::Text: return DecodeText(Read<IgnisText>(base, host), form_);
      case Kind::Wide: return DecodeWide(Read<const char16_t*>(base, host));
      case Kind::FaceName: {
        const auto* name = reinterpret_cast<const char16_t*>(static_cast<const unsigned char*>(base) + host);
        std::size_t length = 0;
        while (length < LF_FACESIZE && name[length] != 0) ++length;
        return DecodeWide(std::u16string(name, length).c_str());
      }
      case Kind::Set: return Read<const void*>(base, host) != nullptr ? JsonValue(true) : JsonValue();
      case Kind::Struct: {
        const void* nested = Read<const void*>(base, host);
        return nested == nullptr ? JsonValue() : Struct(nested, {f.nested, f.nestedFields});
      }
      case Kind::StructList: {
        const auto* items = Read<const unsigned char*>(base, host);
        if (items == nullptr) return JsonValue();
        JsonValue list = JsonValue::Array();
        const std::uint32_t count = Read<std::uint32_t>(base, f.countHost);
        for (std::uint32_t i = 0; i < count; ++i) list.Push(Struct(items + i * f.nestedSize, {f.nested, f.nestedFields}));
        return list;
      }
      case Kind::TextList: {
        const auto* texts = Read<const IgnisText*>(base, host);
        if (texts == nullptr) return JsonValue();
        JsonValue list = JsonValue::Array();
        const std::uint32_t count = Read<std::uint32_t>(base, f.countHost);
        for (std::uint32_t i = 0; i < count; ++i) list.Push(DecodeText(texts[i], form_));
        return list;
      }
      case Kind::TaskInput: return TaskInputOf(Read<const void*>(base, host));
    }
    return JsonValue();
  }

  JsonValue TaskInputOf(const void* input) const {
    switch (InputKindOf(record_)) {
      case InputKind::None: return JsonValue();
      case InputKind::AudioList: return Struct(input, kAudioList);
      case InputKind::DataList: return Struct(input, kDataList);
      case InputKind::Project: return Struct(input, kProject);
      case InputKind::Unknown: return true;
    }
    return JsonValue();
  }

  const LaunchRecord& record_;
  TextForm form_;
};

}  // namespace

JsonValue DumpRecord(const LaunchRecord& record, TextForm form) {
  return Dumper(record, form).Struct(&record, kLaunchRecord);
}

}  // namespace orbcore
