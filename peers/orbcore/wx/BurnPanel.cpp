// The burning panel: a task on a worker thread, watched by a timer.
#include "peers/orbcore/wx/BurnPanel.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "peers/orbcore/ConsoleRun.h"
#include "peers/orbcore/TaskInput.h"

namespace orbcore {

namespace {

// A data CD of 80 minutes: 360,000 sectors of 2048 bytes.
constexpr std::uint64_t kCdBytes = 360000ull * 2048;

wxString Wx(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// A file's size, or a folder's with everything in it.
std::uint64_t SizeOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
  }
  std::uint64_t total = 0;
  for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) total += it->file_size(error);
  }
  return total;
}

std::string Replace(std::string text, std::string_view placeholder, const std::string& value) {
  if (const std::size_t at = text.find(placeholder); at != std::string::npos) text.replace(at, placeholder.size(), value);
  return text;
}

// What the worker thread shares with the window.
struct RunState {
  std::mutex mutex;
  TaskProgress progress;
  std::optional<TaskOutcome> outcome;
  std::atomic<bool> cancel{false};
};

class PanelObserver : public TaskObserver {
 public:
  explicit PanelObserver(RunState& state) : state_(state) {}
  void Progress(const TaskProgress& progress) override {
    std::lock_guard lock(state_.mutex);
    state_.progress = progress;
  }
  bool CancelRequested() override { return state_.cancel; }

 private:
  RunState& state_;
};

class BurnPanel : public wxPanel {
 public:
  BurnPanel(wxWindow* parent, const EngineView& view) : wxPanel(parent), view_(view), texts_(*view.texts), watch_(this) {
    auto* all = new wxBoxSizer(wxVERTICAL);
    auto* task = new wxStaticText(this, wxID_ANY, Wx(TaskTitle()));
    task->SetFont(task->GetFont().Scaled(1.3f).Bold());
    all->Add(task, 0, wxALL, 12);

    list_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 160), wxLC_REPORT);
    list_->InsertColumn(0, Text("Orbcore.Window.Name", "Name"), wxLIST_FORMAT_LEFT, 380);
    list_->InsertColumn(1, Text("Orbcore.Window.Size", "Size"), wxLIST_FORMAT_RIGHT, 110);
    list_->InsertColumn(2, Text("Orbcore.Window.OnDisc", "On disc"), wxLIST_FORMAT_LEFT, 120);
    std::uint64_t total = 0;
    for (const InputRow& row : view_.input) {
      std::string path = row.path;
      if (row.kind == "folder" && path.ends_with("\\*.*")) path.resize(path.size() - 4);
      const std::uint64_t size = SizeOf(WithoutDrive(path));
      total += size;
      const long item = list_->InsertItem(list_->GetItemCount(), Wx(path));
      list_->SetItem(item, 1, Wx(Megabytes(size)));
      list_->SetItem(item, 2, Wx(row.target));
    }
    all->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 12);
    const std::string totals = Replace(Replace(texts_.Get("Orbcore.Window.Total", "Total: %SIZE% of %CAPACITY%"),
                                               "%SIZE%", Megabytes(total)),
                                       "%CAPACITY%", "CD " + Megabytes(kCdBytes));
    auto* totalText = new wxStaticText(this, wxID_ANY, Wx(totals));
    if (total > kCdBytes) totalText->SetForegroundColour(*wxRED);
    all->Add(totalText, 0, wxALL, 12);

    // The target: a drive, or an image file.
    auto* targetRow = new wxBoxSizer(wxHORIZONTAL);
    targetRow->Add(new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.Target", "Write to")), 0,
                   wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    target_ = new wxChoice(this, wxID_ANY);
    for (const RecordedDrive& drive : view_.drives) target_->Append(Wx(drive.letter + " " + drive.name + " (" + drive.device + ")"));
    target_->Append(Text("Orbcore.Window.ImageFile", "Write to image file"));
    target_->SetSelection(view_.places.target.empty() && !view_.drives.empty() ? 0 : static_cast<int>(view_.drives.size()));
    targetRow->Add(target_, 0, wxRIGHT, 8);
    path_ = new wxTextCtrl(this, wxID_ANY, Wx(view_.places.target));
    targetRow->Add(path_, 1, wxRIGHT, 8);
    auto* browse = new wxButton(this, wxID_ANY, Text("Orbcore.Window.Browse", "Browse..."));
    targetRow->Add(browse);
    all->Add(targetRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 12);
    if (view_.taskCode == kTaskCopyDisc || view_.taskCode == kTaskRipAudioCd) {
      auto* sourceRow = new wxBoxSizer(wxHORIZONTAL);
      sourceRow->Add(new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.SourceImage", "Read from image file")), 0,
                     wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
      source_ = new wxTextCtrl(this, wxID_ANY, Wx(view_.places.source));
      sourceRow->Add(source_, 1);
      all->Add(sourceRow, 0, wxEXPAND | wxALL, 12);
    }

    gauge_ = new wxGauge(this, wxID_ANY, 1000);
    all->Add(gauge_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 12);
    status_ = new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.Ready", "Ready"));
    all->Add(status_, 0, wxEXPAND | wxALL, 12);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    start_ = new wxButton(this, wxID_ANY, Text("Orbcore.Window.Start", "Burn"));
    cancel_ = new wxButton(this, wxID_ANY, Text("Orbcore.Window.Cancel", "Cancel"));
    cancel_->Disable();
    buttons->Add(start_, 0, wxRIGHT, 8);
    buttons->Add(cancel_);
    all->Add(buttons, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 12);
    SetSizer(all);

    start_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Start(); });
    cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { state_.cancel = true; });
    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
      wxFileDialog dialog(this, Text("Orbcore.Window.ImageFile", "Write to image file"), wxEmptyString, path_->GetValue(),
                          wxFileSelectorDefaultWildcardStr, wxFD_SAVE);
      if (dialog.ShowModal() == wxID_OK) {
        path_->SetValue(dialog.GetPath());
        target_->SetSelection(static_cast<int>(view_.drives.size()));
      }
    });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Watch(); }, watch_.GetId());
    if (view_.autostart) CallAfter(&BurnPanel::Start);
  }

  ~BurnPanel() override { Stop(); }

  bool Stop() {
    state_.cancel = true;
    if (worker_.joinable()) worker_.join();
    watch_.Stop();
    return true;
  }

 private:
  wxString Text(const char* key, const char* english) const { return Wx(texts_.Get(key, english)); }

  std::string TaskTitle() const {
    switch (view_.taskCode) {
      case kTaskAudioCd: return texts_.Get("Orbcore.Window.Task.AudioCd", "Audio CD");
      case kTaskCopyDisc: return texts_.Get("Orbcore.Window.Task.Copy", "Copy a disc");
      case kTaskRipAudioCd: return texts_.Get("Orbcore.Window.Task.Rip", "Rip an audio CD");
      default: return texts_.Get("Orbcore.Window.Task.DataDisc", "Data disc");
    }
  }

  // "Z:\a\b" as "/a/b", for the sizes.
  static std::string WithoutDrive(std::string path) {
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path.erase(0, 2);
    for (char& c : path) c = c == '\\' ? '/' : c;
    return path;
  }

  void Start() {
    if (worker_.joinable()) return;
    TaskPlaces places = view_.places;
    const auto choice = static_cast<std::size_t>(target_->GetSelection());
    places.target = choice < view_.drives.size() ? std::string() : std::string(path_->GetValue().utf8_str());
    if (choice < view_.drives.size()) places.drive = view_.drives[choice].device;
    if (source_ != nullptr) places.source = std::string(source_->GetValue().utf8_str());
    state_.cancel = false;
    state_.outcome.reset();
    state_.progress = {};
    start_->Disable();
    cancel_->Enable();
    worker_ = std::thread([this, places] {
      PanelObserver observer(state_);
      TaskOutcome outcome = view_.run(places, observer);
      std::lock_guard lock(state_.mutex);
      state_.outcome = std::move(outcome);
    });
    watch_.Start(100);
  }

  void Watch() {
    TaskProgress progress;
    std::optional<TaskOutcome> outcome;
    {
      std::lock_guard lock(state_.mutex);
      progress = state_.progress;
      outcome = state_.outcome;
    }
    if (progress.total > 0) gauge_->SetValue(static_cast<int>(progress.done * 1000 / progress.total));
    status_->SetLabel(Wx(ProgressLine(progress, texts_)));
    if (!outcome) return;
    watch_.Stop();
    worker_.join();
    start_->Enable();
    cancel_->Disable();
    const std::string message = outcome->Succeeded()
                                    ? Replace(texts_.Get("Orbcore.Window.Done", "Done: %FILE% is written."), "%FILE%",
                                              path_->GetValue().utf8_str().data())
                                    : FailureMessage(*outcome, texts_);
    status_->SetLabel(Wx(message));
    if (outcome->Succeeded()) gauge_->SetValue(1000);
  }

  const EngineView& view_;
  const EngineTexts& texts_;
  wxListCtrl* list_ = nullptr;
  wxChoice* target_ = nullptr;
  wxTextCtrl* path_ = nullptr;
  wxTextCtrl* source_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxStaticText* status_ = nullptr;
  wxButton* start_ = nullptr;
  wxButton* cancel_ = nullptr;
  wxTimer watch_;
  RunState state_;
  std::thread worker_;
};

}  // namespace

wxPanel* MakeBurnPanel(wxWindow* parent, const EngineView& view) { return new BurnPanel(parent, view); }

bool StopBurn(wxPanel* panel) {
  auto* burn = dynamic_cast<BurnPanel*>(panel);
  return burn == nullptr || burn->Stop();
}

}  // namespace orbcore
