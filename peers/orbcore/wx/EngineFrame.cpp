// The engine's main window, in its own module so that a run without a display
// never loads the GUI libraries. liborbcore.so hands it an EngineView and
// waits until the user closes the window.
//
// The window uses the process's wx application when start-up made a GUI one;
// when there is none (the engine started by a test or a tool that never
// started wx), it makes its own for the time the window is open.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/mstream.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "compat/win32/Resource.h"
#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/TaskInput.h"
#include "peers/orbcore/wx/BurnPanel.h"

namespace orbcore {

namespace {

// The shell's idle work (its channel check) is cheap but need not run more
// often than this.
constexpr std::chrono::milliseconds kIdleInterval{250};

wxString Wx(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

wxColour FromColorRef(std::uint32_t color) {
  return wxColour(static_cast<unsigned char>(color & 0xFF), static_cast<unsigned char>((color >> 8) & 0xFF),
                  static_cast<unsigned char>((color >> 16) & 0xFF));
}

// An icon handle of the shell as a wx image, through the PNG it holds.
wxImage ImageOfIcon(HICON icon) {
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  int width = 0;
  int height = 0;
  if (icon == nullptr || !compat::win32::ImageOfHandle(icon, &bytes, &size, &width, &height)) return wxImage();
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream in(bytes, size);
  return wxImage(in, wxBITMAP_TYPE_PNG);
}

wxIconBundle IconsOf(const EngineView& view) {
  wxIconBundle bundle;
  for (HICON handle : {view.smallIcon, view.largeIcon}) {
    const wxImage image = ImageOfIcon(handle);
    if (!image.IsOk()) continue;
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(image));
    bundle.AddIcon(icon);
  }
  return bundle;
}

// Text for a wx label's markup: XML's special characters escaped.
wxString EscapeLabelMarkup(const std::string& text) {
  wxString out;
  for (wxUniChar c : Wx(text)) {
    switch (static_cast<wxChar>(c)) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// The about markup's runs in the markup wx labels understand.
wxString LabelMarkup(const AboutParagraph& paragraph) {
  wxString markup;
  for (const AboutRun& run : paragraph) {
    if (run.lineBreak) {
      markup += "\n";
    } else {
      const wxString text = EscapeLabelMarkup(run.text);
      markup += run.bold ? "<b>" + text + "</b>" : text;
    }
  }
  return markup;
}

// A text of the engine's in the user's language.
std::string ViewText(const EngineView& view, const char* key, const char* english) {
  return view.texts != nullptr ? view.texts->Get(key, english) : english;
}

// A menu entry's text as a dialog's title: without its mnemonic and dots.
wxString TitleOfMenuText(std::string text, const std::string& productName) {
  if (const std::size_t at = text.find("%APPNAME%"); at != std::string::npos) text.replace(at, 9, productName);
  std::erase(text, '&');
  while (text.ends_with(".")) text.pop_back();
  return Wx(text);
}

wxListCtrl* MakeList(wxWindow* parent, std::initializer_list<std::pair<wxString, int>> columns) {
  auto* list = new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
  int column = 0;
  for (const auto& [title, width] : columns) list->InsertColumn(column++, title, wxLIST_FORMAT_LEFT, width);
  return list;
}

void AddRow(wxListCtrl* list, std::initializer_list<wxString> cells) {
  const long row = list->InsertItem(list->GetItemCount(), *cells.begin());
  int column = 0;
  for (const wxString& cell : cells) {
    if (column > 0) list->SetItem(row, column, cell);
    ++column;
  }
}

class AboutDialog : public wxDialog {
 public:
  AboutDialog(wxWindow* parent, const EngineView& view)
      : wxDialog(parent, wxID_ANY,
                 TitleOfMenuText(ViewText(view, "Orbcore.Menu.About", "&About %APPNAME%..."), view.productName)) {
    auto* text = new wxBoxSizer(wxVERTICAL);
    for (const AboutParagraph& paragraph : view.about) {
      auto* label = new wxStaticText(this, wxID_ANY, wxEmptyString);
      label->SetLabelMarkup(LabelMarkup(paragraph));
      text->Add(label, 0, wxBOTTOM, 12);
    }
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const wxImage icon = ImageOfIcon(view.largeIcon);
    if (icon.IsOk()) row->Add(new wxStaticBitmap(this, wxID_ANY, wxBitmap(icon)), 0, wxRIGHT, 16);
    row->Add(text, 1, wxEXPAND);
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(row, 1, wxEXPAND | wxALL, 16);
    all->Add(CreateStdDialogButtonSizer(wxOK), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
    SetSizerAndFit(all);
    CentreOnParent();
  }
};

// The help topics the shell handed over; the help viewer itself is not part
// of this engine, so the topics are listed with the file they live in.
class HelpTopicsDialog : public wxDialog {
 public:
  HelpTopicsDialog(wxWindow* parent, const EngineView& view)
      : wxDialog(parent, wxID_ANY,
                 TitleOfMenuText(ViewText(view, "Orbcore.Menu.HelpTopics", "&Help Topics"), view.productName),
                 wxDefaultPosition, wxSize(620, 420), wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    auto* all = new wxBoxSizer(wxVERTICAL);
    std::string file = ViewText(view, "Orbcore.Help.File", "Help file: %FILE%");
    if (const std::size_t at = file.find("%FILE%"); at != std::string::npos) {
      file.replace(at, 6, view.helpFile.empty() ? ViewText(view, "Orbcore.Help.NoFile", "none") : view.helpFile);
    }
    all->Add(new wxStaticText(this, wxID_ANY, Wx(file)), 0, wxALL, 12);
    wxListCtrl* topics = MakeList(this, {{Wx(ViewText(view, "Orbcore.Help.Context", "Context")), 90},
                                         {Wx(ViewText(view, "Orbcore.Help.Page", "Page")), 480}});
    for (const HelpTopic& topic : view.helpTopics) {
      // The address is the help file, "::/" and the page; the file is shown above.
      const std::size_t page = topic.topic.rfind("::/");
      AddRow(topics, {wxString::Format("%u", topic.context),
                      Wx(page == std::string::npos ? topic.topic : topic.topic.substr(page + 3))});
    }
    all->Add(topics, 1, wxEXPAND | wxLEFT | wxRIGHT, 12);
    all->Add(CreateStdDialogButtonSizer(wxOK), 0, wxEXPAND | wxALL, 12);
    SetSizer(all);
    CentreOnParent();
  }
};

class EngineFrame : public wxFrame {
 public:
  EngineFrame(const EngineView& view, wxEventLoopBase& loop)
      : wxFrame(nullptr, wxID_ANY, Wx(view.Title()), wxDefaultPosition, wxSize(760, 600)),
        view_(view),
        loop_(loop),
        heartbeat_(this),
        closer_(this) {
    SetIcons(IconsOf(view));
    auto* bar = new wxMenuBar;
    for (const MenuEntry& entry : view.menuBar) {
      if (entry.IsPopup()) bar->Append(MakeMenu(entry.popup), Wx(entry.text));
    }
    SetMenuBar(bar);
    BuildPage();
    CreateStatusBar();
    SetStatusText(Wx(view.texts != nullptr ? view.texts->Get("Orbcore.Window.Ready", "Ready") : "Ready"));

    Bind(wxEVT_MENU, &EngineFrame::OnMenu, this);
    Bind(wxEVT_CLOSE_WINDOW, &EngineFrame::OnClose, this);
    Bind(wxEVT_IDLE, &EngineFrame::OnIdle, this);
    // Idle events come only after other events; the heartbeat makes sure
    // there are some while the user does nothing.
    Bind(wxEVT_TIMER, [](wxTimerEvent&) { wxWakeUpIdle(); }, heartbeat_.GetId());
    heartbeat_.Start(static_cast<int>(kIdleInterval.count()));
    if (view.closeAfterMs > 0) {
      Bind(wxEVT_TIMER, [this](wxTimerEvent&) { RequestClose(); }, closer_.GetId());
      closer_.StartOnce(static_cast<int>(view.closeAfterMs));
    }
  }

 private:
  // wx item ids must stay below 32767, which menu commands need not: each
  // item gets an id of its own, and the command it stands for is kept here.
  static constexpr int kFirstItemId = 10000;

  wxMenu* MakeMenu(const std::vector<MenuEntry>& entries) {
    auto* menu = new wxMenu;
    for (const MenuEntry& entry : entries) {
      if (entry.IsSeparator()) {
        menu->AppendSeparator();
      } else if (entry.IsPopup()) {
        menu->AppendSubMenu(MakeMenu(entry.popup), Wx(entry.text));
      } else {
        const bool checkable = IsEngineOption(entry.id) || (entry.flags & MF_CHECKED) != 0;
        const int itemId = kFirstItemId + static_cast<int>(commands_.size());
        commands_.push_back(entry.id);
        wxMenuItem* item =
            menu->Append(itemId, Wx(entry.text), wxEmptyString, checkable ? wxITEM_CHECK : wxITEM_NORMAL);
        if (checkable) item->Check((entry.flags & MF_CHECKED) != 0);
        if ((entry.flags & (MF_GRAYED | MF_DISABLED)) != 0) item->Enable(false);
      }
    }
    return menu;
  }

  void BuildPage() {
    auto* page = new wxPanel(this);
    auto* all = new wxBoxSizer(wxVERTICAL);

    // A banner in the record's colours with the product's name.
    auto* banner = new wxPanel(page);
    banner->SetBackgroundColour(FromColorRef(view_.bannerColor));
    auto* bannerSizer = new wxBoxSizer(wxVERTICAL);
    auto* title = new wxStaticText(banner, wxID_ANY, Wx(view_.productName));
    title->SetFont(title->GetFont().Scaled(1.6f).Bold());
    auto* subtitle = new wxStaticText(
        banner, wxID_ANY,
        Wx(Version()) +
            (view_.edition.empty() ? wxString() : L"  \u00b7  " + Wx(view_.edition)));
    for (wxStaticText* text : {title, subtitle}) text->SetForegroundColour(FromColorRef(view_.bannerTextColor));
    bannerSizer->Add(title, 0, wxLEFT | wxRIGHT | wxTOP, 16);
    bannerSizer->Add(subtitle, 0, wxALL, 16);
    auto* bannerRow = new wxBoxSizer(wxHORIZONTAL);
    const wxImage icon = ImageOfIcon(view_.largeIcon);
    if (icon.IsOk()) bannerRow->Add(new wxStaticBitmap(banner, wxID_ANY, wxBitmap(icon)), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 16);
    bannerRow->Add(bannerSizer, 1);
    banner->SetSizer(bannerRow);
    all->Add(banner, 0, wxEXPAND);

    // The record's task gets its task window; without one (the program
    // started without a switch, or with a task the engine does not carry
    // out), a start page offers the tasks.
    content_ = new wxBoxSizer(wxVERTICAL);
    all->Add(content_, 1, wxEXPAND);
    page->SetSizer(all);
    page_ = page;
    if (IsWritingTask(view_)) {
      ShowTask(std::make_unique<EngineView>(view_), false);
    } else {
      ShowStartPage();
    }
  }

  std::string Text(const char* key, const char* english) const { return ViewText(view_, key, english); }

  // Takes the page's current part (start page or task window) away.
  void ClearContent() {
    if (burn_ != nullptr) StopBurn(burn_);
    burn_ = nullptr;
    if (shown_ != nullptr) shown_->Destroy();
    shown_ = nullptr;
    task_.reset();
  }

  void ShowContent(wxWindow* part) {
    shown_ = part;
    content_->Add(part, 1, wxEXPAND);
    page_->Layout();
  }

  void ShowStartPage() {
    ClearContent();
    auto* start = new wxPanel(page_);
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* heading = new wxStaticText(start, wxID_ANY, Wx(Text("Orbcore.Window.Choose", "What would you like to do?")));
    heading->SetFont(heading->GetFont().Scaled(1.3f).Bold());
    column->Add(heading, 0, wxALL, 16);
    // A project file is not something this engine opens: the user is told
    // and picks a task instead.
    if (view_.taskCode == kTaskOpenProject && !view_.input.empty()) {
      std::string note = Text("Orbcore.Window.ProjectUnsupported",
                              "The project \"%FILE%\" cannot be opened here; choose a task instead.");
      if (const std::size_t at = note.find("%FILE%"); at != std::string::npos) note.replace(at, 6, view_.input[0].path);
      column->Add(new wxStaticText(start, wxID_ANY, Wx(note)), 0, wxLEFT | wxRIGHT | wxBOTTOM, 16);
    }
    auto* tasks = new wxFlexGridSizer(2, 10, 16);
    wxButton* first = nullptr;
    for (const WindowTask& task : WindowTasks()) {
      auto* button = new wxButton(start, wxID_ANY, Wx(Text(task.titleKey, task.title)));
      button->SetFont(button->GetFont().Bold());
      const std::uint32_t code = task.taskCode;
      // The page goes away with its button, so after the click is handled.
      button->Bind(wxEVT_BUTTON, [this, code](wxCommandEvent&) {
        CallAfter([this, code] {
          auto task = std::make_unique<EngineView>(ChosenTaskView(view_, code));
          if (view_.prepare) view_.prepare(*task);
          ShowTask(std::move(task), true);
        });
      });
      tasks->Add(button, 0, wxEXPAND);
      if (first == nullptr) first = button;
      tasks->Add(new wxStaticText(start, wxID_ANY, Wx(Text(task.noteKey, task.note))), 0, wxALIGN_CENTER_VERTICAL);
    }
    column->Add(tasks, 0, wxLEFT | wxRIGHT, 24);
    start->SetSizer(column);
    ShowContent(start);
    // The keyboard starts on the first task.
    if (first != nullptr) first->SetFocus();
  }

  // The task window of `task`; `back` gives it a way back to the start page.
  void ShowTask(std::unique_ptr<EngineView> task, bool back) {
    ClearContent();
    task_ = std::move(task);
    std::function<void()> toStart;
    if (back) toStart = [this] { CallAfter(&EngineFrame::ShowStartPage); };
    burn_ = MakeBurnPanel(page_, *task_, std::move(toStart));
    ShowContent(burn_);
  }

  // "Version 9.12.0.194 (2210)", in the user's language.
  std::string Version() const {
    std::string text = view_.texts != nullptr ? view_.texts->Get("Orbcore.Window.Version", "Version %VERSION%")
                                              : "Version %VERSION%";
    if (const std::size_t at = text.find("%VERSION%"); at != std::string::npos) {
      text.replace(at, 9, view_.fullVersion.empty() ? view_.version : view_.fullVersion);
    }
    return text;
  }

  void OnMenu(wxCommandEvent& event) {
    const int index = event.GetId() - kFirstItemId;
    if (index < 0 || static_cast<std::size_t>(index) >= commands_.size()) return;
    const std::uint32_t id = commands_[static_cast<std::size_t>(index)];
    switch (id) {
      case kCommandExit: Close(); break;
      case kCommandAbout: ShowDialog<AboutDialog>(); break;
      case kCommandHelpTopics: ShowDialog<HelpTopicsDialog>(); break;
      default:
        // The engine's options keep their check marks in the menu itself.
        if (!IsEngineCommand(id) && view_.command) view_.command(id);
        break;
    }
    if (ShellAskedToQuit()) RequestClose();
  }

  template <typename Dialog>
  void ShowDialog() {
    Dialog dialog(this, view_);
    dialog.ShowModal();
  }

  // A close request from outside the user's hands (the quit timer, the
  // shell's quit message) may come while a dialog runs its own loop, the
  // engine's or one the shell opened: that dialog ends first.
  void RequestClose() {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(window);
      if (dialog != nullptr && dialog->IsModal()) {
        dialog->EndModal(wxID_CANCEL);
        CallAfter(&EngineFrame::RequestClose);
        return;
      }
    }
    Close();
  }

  void OnIdle(wxIdleEvent& event) {
    const auto now = std::chrono::steady_clock::now();
    if (view_.idle && now - lastIdle_ >= kIdleInterval) {
      lastIdle_ = now;
      view_.idle();
      if (ShellAskedToQuit()) RequestClose();
    }
    event.Skip();
  }

  void OnClose(wxCloseEvent&) {
    // A burn still running is cancelled, and its image target removed, first.
    if (burn_ != nullptr) StopBurn(burn_);
    heartbeat_.Stop();
    closer_.Stop();
    Destroy();
    if (loop_.IsRunning()) {
      loop_.Exit();
    } else {
      loop_.ScheduleExit();
    }
  }

  const EngineView& view_;
  wxEventLoopBase& loop_;
  wxTimer heartbeat_;
  wxTimer closer_;
  std::chrono::steady_clock::time_point lastIdle_{};
  std::vector<std::uint32_t> commands_;
  wxPanel* page_ = nullptr;
  wxBoxSizer* content_ = nullptr;
  wxWindow* shown_ = nullptr;  // the start page or the task window
  wxPanel* burn_ = nullptr;    // the task window, when shown
  std::unique_ptr<EngineView> task_;  // the task it shows
};

void ReportAssert(const wxString& file, int line, const wxString& function, const wxString& condition,
                  const wxString& message) {
  std::fprintf(stderr, "orbcore: wx check failed at %s:%d in %s: %s %s\n", file.utf8_str().data(), line,
               function.utf8_str().data(), condition.utf8_str().data(), message.utf8_str().data());
}

void RunMainWindow(const EngineView& view) {
  wxGUIEventLoop loop;
  auto* frame = new EngineFrame(view, loop);
  frame->Show();
  loop.Run();
  // The frame deletes itself on the next idle pass; let it happen now.
  wxTheApp->ProcessIdle();
}

}  // namespace

}  // namespace orbcore

extern "C" __attribute__((visibility("default"))) int OrbcoreShowEngineWindow(const orbcore::EngineView* view) {
  // Asked through the console base: wxTheApp would claim a GUI application
  // before we know there is one.
  if (wxAppConsole* app = wxAppConsole::GetInstance()) {
    if (!app->IsGUI()) return orbcore::kWindowNoGui;
    orbcore::RunMainWindow(*view);
    return orbcore::kWindowClosed;
  }
  // Nobody started wx: a GUI application of our own, for this window only.
  // Its failed checks go to standard error: nobody may be there to answer
  // a dialog box.
  const wxAssertHandler_t previous = wxSetAssertHandler(orbcore::ReportAssert);
  wxApp::SetInstance(new wxApp);
  int argc = 0;
  int outcome = orbcore::kWindowNoGui;
  if (wxEntryStart(argc, static_cast<wxChar**>(nullptr))) {
    orbcore::RunMainWindow(*view);
    wxEntryCleanup();
    outcome = orbcore::kWindowClosed;
  }
  wxSetAssertHandler(previous);
  return outcome;
}
