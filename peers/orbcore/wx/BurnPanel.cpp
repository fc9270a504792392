// The burning panel: a task on a worker thread, watched by a timer.
#include "peers/orbcore/wx/BurnPanel.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "peers/orbcore/ConsoleRun.h"
#include "peers/orbcore/TaskInput.h"
#include "peers/orbcore/TaskWindow.h"

namespace orbcore {

namespace {

// A data CD of 80 minutes: 360,000 sectors of 2048 bytes.
constexpr std::uint64_t kCdBytes = 360000ull * 2048;

wxString Wx(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

std::string Replace(std::string text, std::string_view placeholder, const std::string& value) {
  if (const std::size_t at = text.find(placeholder); at != std::string::npos) text.replace(at, placeholder.size(), value);
  return text;
}

// What the worker thread shares with the window: progress, the outcome,
// a cancel, and a question for the user (a blank disc wanted) with its answer.
struct RunState {
  std::mutex mutex;
  std::condition_variable answered;
  TaskProgress progress;
  std::optional<TaskOutcome> outcome;
  std::optional<std::string> blankDiscWanted;  // the drive, while the question is open
  std::optional<bool> answer;
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

  // The window's timer sees the question and asks; a cancel (the window
  // closing) ends the wait too.
  bool AskForBlankDisc(const std::string& drive) override {
    std::unique_lock lock(state_.mutex);
    state_.answer.reset();
    state_.blankDiscWanted = drive;
    while (!state_.answer && !state_.cancel) state_.answered.wait_for(lock, std::chrono::milliseconds(100));
    state_.blankDiscWanted.reset();
    return state_.answer.value_or(false) && !state_.cancel;
  }

 private:
  RunState& state_;
};

class BurnPanel : public wxPanel {
 public:
  BurnPanel(wxWindow* parent, const EngineView& view, std::function<void()> back)
      : wxPanel(parent), view_(view), texts_(*view.texts), rows_(view.input), watch_(this) {
    const bool reads = view_.taskCode == kTaskCopyDisc || view_.taskCode == kTaskRipAudioCd;
    auto* all = new wxBoxSizer(wxVERTICAL);
    auto* task = new wxStaticText(this, wxID_ANY, Wx(TaskTitle()));
    task->SetFont(task->GetFont().Scaled(1.3f).Bold());
    all->Add(task, 0, wxALL, 12);

    // What is written: the list, with buttons to add to it and take from it;
    // for a copy or a rip, what is read.
    list_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 160), wxLC_REPORT);
    list_->InsertColumn(0, Text(reads ? "Orbcore.Window.Source" : "Orbcore.Window.Name", reads ? "Read from" : "Name"),
                        wxLIST_FORMAT_LEFT, 380);
    list_->InsertColumn(1, Text("Orbcore.Window.Size", "Size"), wxLIST_FORMAT_RIGHT, 110);
    if (view_.taskCode == kTaskDataDisc) {
      list_->InsertColumn(2, Text("Orbcore.Window.OnDisc", "On disc"), wxLIST_FORMAT_LEFT, 120);
    }
    all->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 12);
    auto* listRow = new wxBoxSizer(wxHORIZONTAL);
    listRow->AddStretchSpacer();
    if (!reads) {
      const bool audio = view_.taskCode == kTaskAudioCd;
      AddButton(listRow, audio ? Text("Orbcore.Window.AddTracks", "Add tracks...")
                               : Text("Orbcore.Window.AddFiles", "Add files..."),
                [this] { AddFiles(); });
      if (!audio) AddButton(listRow, Text("Orbcore.Window.AddFolder", "Add folder..."), [this] { AddFolder(); });
      AddButton(listRow, Text("Orbcore.Window.Remove", "Remove"), [this] { RemoveSelected(); });
    }
    all->Add(listRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 12);
    total_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    all->Add(total_, 0, wxEXPAND | wxALL, 12);

    // The source of a copy or a rip: the drive, or an image file.
    if (reads) {
      auto* sourceRow = new wxBoxSizer(wxHORIZONTAL);
      sourceRow->Add(new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.SourceImage", "Read from image file")), 0,
                     wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
      source_ = new wxTextCtrl(this, wxID_ANY, Wx(view_.places.source));
      sourceRow->Add(source_, 1);
      all->Add(sourceRow, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
      source_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { FillList(); });
    }

    // The target: a drive, or an image file.
    auto* targetRow = new wxBoxSizer(wxHORIZONTAL);
    targetRow->Add(new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.Target", "Write to")), 0,
                   wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    target_ = new wxChoice(this, wxID_ANY);
    for (const RecordedDrive& drive : view_.drives) target_->Append(Wx(DriveName(drive)));
    target_->Append(Text("Orbcore.Window.ImageFile", "Write to image file"));
    target_->SetSelection(view_.places.target.empty() && !view_.drives.empty() ? 0 : static_cast<int>(view_.drives.size()));
    targetRow->Add(target_, 0, wxRIGHT, 8);
    path_ = new wxTextCtrl(this, wxID_ANY, Wx(view_.places.target));
    targetRow->Add(path_, 1, wxRIGHT, 8);
    AddButton(targetRow, Text("Orbcore.Window.Browse", "Browse..."), [this] { BrowseTarget(); });
    all->Add(targetRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 12);
    // A new disc: a rewritable disc erased first, an image file replaced
    // rather than given a further session.
    if (view_.taskCode != kTaskRipAudioCd) {
      newDisc_ = new wxCheckBox(this, wxID_ANY,
                                Text("Orbcore.Window.NewDisc",
                                     "New disc: erase a rewritable disc first (an image file is replaced)"));
      newDisc_->SetValue(view_.places.newDisc);
      all->Add(newDisc_, 0, wxLEFT | wxRIGHT | wxTOP, 12);
    }

    gauge_ = new wxGauge(this, wxID_ANY, 1000);
    all->Add(gauge_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 12);
    status_ = new wxStaticText(this, wxID_ANY, Text("Orbcore.Window.Ready", "Ready"));
    all->Add(status_, 0, wxEXPAND | wxALL, 12);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    if (back) back_ = AddButton(buttons, Text("Orbcore.Window.Back", "Other task"), std::move(back));
    buttons->AddStretchSpacer();
    start_ = AddButton(buttons, Text("Orbcore.Window.Start", "Burn"), [this] { Start(); });
    cancel_ = AddButton(buttons, Text("Orbcore.Window.Cancel", "Cancel"), [this] { state_.cancel = true; });
    cancel_->Disable();
    all->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
    SetSizer(all);
    FillList();

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

  std::string TaskTitle() const { return TaskTitleOf(view_.taskCode, texts_); }

  template <typename Action>
  wxButton* AddButton(wxBoxSizer* row, const wxString& label, Action action) {
    auto* button = new wxButton(this, wxID_ANY, label);
    button->Bind(wxEVT_BUTTON, [action](wxCommandEvent&) { action(); });
    row->Add(button, 0, wxLEFT, 8);
    return button;
  }

  // The list as the rows stand (for a copy or a rip, the source), with the
  // total against a CD.
  void FillList() {
    list_->DeleteAllItems();
    std::uint64_t total = 0;
    const std::optional<std::string> source =
        source_ != nullptr ? std::optional<std::string>(source_->GetValue().utf8_str()) : std::nullopt;
    for (const ListedItem& listed : ListedItems(view_, rows_, source)) {
      const long item = list_->InsertItem(list_->GetItemCount(), Wx(listed.name));
      if (listed.bytes) list_->SetItem(item, 1, Wx(Megabytes(static_cast<double>(*listed.bytes), texts_)));
      if (list_->GetColumnCount() > 2) list_->SetItem(item, 2, Wx(listed.onDisc));
      total += listed.bytes.value_or(0);
    }
    const std::string totals = Replace(Replace(texts_.Get("Orbcore.Window.Total", "Total: %SIZE% of %CAPACITY%"),
                                               "%SIZE%", Megabytes(static_cast<double>(total), texts_)),
                                       "%CAPACITY%", "CD " + Megabytes(static_cast<double>(kCdBytes), texts_));
    total_->SetLabel(Wx(totals));
    total_->SetForegroundColour(total > kCdBytes ? *wxRED : GetForegroundColour());
    Layout();
  }

  // A path of this machine as the list holds it: "Z:\a\b".
  static std::string ListPath(const wxString& path) {
    return compat::win32::Utf16ToUtf8(compat::win32::WindowsPath(std::string(path.utf8_str())));
  }

  void AddFiles() {
    const bool audio = view_.taskCode == kTaskAudioCd;
    wxFileDialog dialog(this, audio ? Text("Orbcore.Window.AddTracks", "Add tracks...")
                                    : Text("Orbcore.Window.AddFiles", "Add files..."),
                        wxEmptyString, wxEmptyString, wxFileSelectorDefaultWildcardStr,
                        wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    wxArrayString paths;
    dialog.GetPaths(paths);
    for (const wxString& path : paths) {
      rows_.push_back({audio ? "track" : "file", ListPath(path), audio ? "" : "\\"});
    }
    FillList();
  }

  void AddFolder() {
    wxDirDialog dialog(this, Text("Orbcore.Window.AddFolder", "Add folder..."), wxEmptyString,
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    rows_.push_back({"folder", ListPath(dialog.GetPath()) + "\\*.*", "\\"});
    FillList();
  }

  void RemoveSelected() {
    // Rows before the list's own (a source) are not removable.
    const long offset = list_->GetItemCount() - static_cast<long>(rows_.size());
    for (long item = list_->GetItemCount() - 1; item >= offset; --item) {
      if (list_->GetItemState(item, wxLIST_STATE_SELECTED) != 0) rows_.erase(rows_.begin() + (item - offset));
    }
    FillList();
  }

  void BrowseTarget() {
    const wxString title = Text("Orbcore.Window.ImageFile", "Write to image file");
    wxString chosen;
    if (view_.taskCode == kTaskRipAudioCd) {
      wxDirDialog dialog(this, title, path_->GetValue());
      if (dialog.ShowModal() == wxID_OK) chosen = dialog.GetPath();
    } else {
      wxFileDialog dialog(this, title, wxEmptyString, path_->GetValue(), wxFileSelectorDefaultWildcardStr, wxFD_SAVE);
      if (dialog.ShowModal() == wxID_OK) chosen = dialog.GetPath();
    }
    if (chosen.empty()) return;
    path_->SetValue(chosen);
    target_->SetSelection(static_cast<int>(view_.drives.size()));
  }

  void Start() {
    if (worker_.joinable()) return;
    const auto choice = static_cast<std::size_t>(target_->GetSelection());
    const TaskPlaces places = ChosenPlaces(
        view_, choice, std::string(path_->GetValue().utf8_str()),
        source_ != nullptr ? std::optional<std::string>(source_->GetValue().utf8_str()) : std::nullopt,
        newDisc_ != nullptr ? std::optional<bool>(newDisc_->GetValue()) : std::nullopt);
    written_ = choice < view_.drives.size() ? DriveName(view_.drives[choice]) : places.target;
    // The task as the window holds it now; it lives as long as the run.
    running_ = std::make_unique<EngineView>(view_);
    running_->input = rows_;
    state_.cancel = false;
    state_.outcome.reset();
    state_.progress = {};
    start_->Disable();
    if (back_ != nullptr) back_->Disable();
    cancel_->Enable();
    worker_ = std::thread([this, places] {
      PanelObserver observer(state_);
      TaskOutcome outcome = running_->run(*running_, places, observer);
      std::lock_guard lock(state_.mutex);
      state_.outcome = std::move(outcome);
    });
    watch_.Start(100);
  }

  // A disc copied in one drive: the disc is read, now a blank one is wanted.
  void AskForBlankDisc(const std::string& drive) {
    asking_ = true;
    wxMessageDialog ask(this,
                        Wx(Replace(texts_.Get("Orbcore.Window.InsertBlank",
                                              "The disc is read. Take it out of %FILE%, put in a blank disc "
                                              "and press OK to write the copy."),
                                   "%FILE%", drive)),
                        Wx(TaskTitle()), wxOK | wxCANCEL | wxICON_INFORMATION);
    const bool ok = ask.ShowModal() == wxID_OK;
    {
      std::lock_guard lock(state_.mutex);
      state_.answer = ok;
    }
    state_.answered.notify_all();
    asking_ = false;
  }

  void Watch() {
    if (asking_) return;
    TaskProgress progress;
    std::optional<TaskOutcome> outcome;
    std::optional<std::string> question;
    {
      std::lock_guard lock(state_.mutex);
      progress = state_.progress;
      outcome = state_.outcome;
      if (!state_.answer) question = state_.blankDiscWanted;
    }
    if (question) {
      AskForBlankDisc(*question);
      return;
    }
    if (progress.total > 0) gauge_->SetValue(static_cast<int>(progress.done * 1000 / progress.total));
    status_->SetLabel(Wx(ProgressLine(progress, texts_)));
    if (!outcome) return;
    watch_.Stop();
    worker_.join();
    start_->Enable();
    if (back_ != nullptr) back_->Enable();
    cancel_->Disable();
    const std::string message =
        outcome->Succeeded() ? Replace(texts_.Get("Orbcore.Window.Done", "Done: %FILE% is written."), "%FILE%", written_)
                             : FailureMessage(*outcome, texts_);
    status_->SetLabel(Wx(message));
    if (outcome->Succeeded()) gauge_->SetValue(1000);
  }

  const EngineView& view_;
  const EngineTexts& texts_;
  std::vector<InputRow> rows_;
  std::unique_ptr<EngineView> running_;
  std::string written_;
  wxListCtrl* list_ = nullptr;
  wxStaticText* total_ = nullptr;
  wxChoice* target_ = nullptr;
  wxTextCtrl* path_ = nullptr;
  wxTextCtrl* source_ = nullptr;
  wxCheckBox* newDisc_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxStaticText* status_ = nullptr;
  wxButton* back_ = nullptr;
  wxButton* start_ = nullptr;
  wxButton* cancel_ = nullptr;
  bool asking_ = false;
  wxTimer watch_;
  RunState state_;
  std::thread worker_;
};

}  // namespace

wxPanel* MakeBurnPanel(wxWindow* parent, const EngineView& view, std::function<void()> back) {
  return new BurnPanel(parent, view, std::move(back));
}

bool StopBurn(wxPanel* panel) {
  auto* burn = dynamic_cast<BurnPanel*>(panel);
  return burn == nullptr || burn->Stop();
}

}  // namespace orbcore
