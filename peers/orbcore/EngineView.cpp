// Decoding the launch record into what the engine shows.
#include "peers/orbcore/EngineView.h"

#include "peers/orbcore/TaskInput.h"

namespace orbcore {

namespace {

std::string Or(std::optional<std::string> text) { return text ? std::move(*text) : std::string(); }

std::vector<InputRow> InputRows(const LaunchRecord& record, TextForm form) {
  std::vector<InputRow> rows;
  switch (InputKindOf(record)) {
    case InputKind::AudioList: {
      const auto* list = static_cast<const AudioCdListInput*>(record.taskInput);
      for (std::uint32_t i = 0; list->paths != nullptr && i < list->count; ++i) {
        rows.push_back({"track", Or(DecodeText(list->paths[i], form)), ""});
      }
      break;
    }
    case InputKind::DataList: {
      const auto* list = static_cast<const DataDiscListInput*>(record.taskInput);
      for (std::uint32_t i = 0; list->items != nullptr && i < list->count; ++i) {
        const DataDiscItem& item = list->items[i];
        rows.push_back({item.kind == kDataItemFolder ? "folder" : "file", Or(DecodeText(item.path, form)),
                        Or(DecodeWide(item.targetFolder))});
      }
      break;
    }
    case InputKind::Project:
      rows.push_back({"project", Or(DecodeText(static_cast<const ProjectFileInput*>(record.taskInput)->path, form)), ""});
      break;
    case InputKind::None:
    case InputKind::Unknown: break;
  }
  return rows;
}

}  // namespace

std::string EngineView::Title() const { return version.empty() ? productName : productName + " " + version; }

EngineView MakeEngineView(const LaunchRecord& record, TextForm form) {
  EngineView view;
  view.productName = Or(DecodeText(record.displayName, form));
  view.version = Or(DecodeText(record.version, form));
  view.fullVersion = Or(DecodeText(record.fullVersion, form));
  view.edition = Or(DecodeText(record.edition, form));
  view.language = Or(DecodeText(record.languageName, form));
  view.textForm = form;
  view.taskCode = record.taskCode;
  view.startMode = record.startMode;
  view.input = InputRows(record, form);
  view.drive = DecodeText(record.selectedDrive, form);
  if (const HelpTopicTable* help = record.helpTopics) {
    view.helpFile = Or(DecodeText(help->helpFile, form));
    for (std::uint32_t i = 0; help->entries != nullptr && i < help->count; ++i) {
      view.helpTopics.push_back({help->entries[i].context, Or(DecodeText(help->entries[i].topic, form))});
    }
  }
  // The about box names the version the user reports: the full one when known.
  view.about = ParseAboutMarkup(Or(DecodeText(record.aboutMarkup, form)), view.productName,
                                view.fullVersion.empty() ? view.version : view.fullVersion);
  view.largeIcon = record.largeIcon;
  view.smallIcon = record.smallIcon;
  // Colours that cannot be told apart would hide the banner's text.
  if (record.color184 != record.color180) {
    view.bannerColor = record.color184;
    view.bannerTextColor = record.color180;
  }
  return view;
}

bool IsWritingTask(const EngineView& view) {
  switch (view.taskCode) {
    case kTaskDataDisc: return view.startMode == kStartDataDiscList;
    case kTaskAudioCd: return view.startMode == kStartWithInput;
    case kTaskCopyDisc:
    case kTaskRipAudioCd: return true;
    default: return false;
  }
}

EngineView ChosenTaskView(const EngineView& view, std::uint32_t taskCode) {
  EngineView task = view;
  task.taskCode = taskCode;
  task.startMode = taskCode == kTaskDataDisc ? kStartDataDiscList : kStartWithInput;
  task.input.clear();
  task.autostart = false;
  return task;
}

}  // namespace orbcore
