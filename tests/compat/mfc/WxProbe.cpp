// A framework program for the display test: it starts wxWidgets as the shell does, shows message
// boxes, answers each from a timer once it is on screen, and prints what it showed and returned.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <utility>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include "compat/mfc/Backend.h"
#include "compat/mfc/MessageBox.h"
#include "compat/mfc/WinApp.h"

namespace {

// GTK's own answers, as its message dialogs report them.
constexpr int kGtkResponseDeleteEvent = -4;
constexpr int kGtkResponseOk = -5;
constexpr int kGtkResponseYes = -8;
// GTK's message types, in the order of their numbers.
constexpr const char* kKindNames[] = {"info", "warning", "question", "error", "other"};

template <typename Function>
Function Find(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// The few GTK calls the probe needs, from the GTK library the window system loaded.
struct Gtk {
  int (*widgetGetMapped)(void*) = Find<int (*)(void*)>("gtk_widget_get_mapped");
  const char* (*windowGetTitle)(void*) = Find<const char* (*)(void*)>("gtk_window_get_title");
  void (*objectGet)(void*, const char*, ...) = Find<void (*)(void*, const char*, ...)>("g_object_get");
  void (*free)(void*) = Find<void (*)(void*)>("g_free");
  void (*dialogResponse)(void*, int) = Find<void (*)(void*, int)>("gtk_dialog_response");

  bool Loaded() const { return widgetGetMapped && windowGetTitle && objectGet && free && dialogResponse; }
};

std::string Describe(long style) {
  std::string text = (style & wxYES_NO) ? "yes+no" : "ok";
  const std::pair<long, const char*> flags[] = {
      {wxCANCEL, "+cancel"},           {wxNO_DEFAULT, " no-default"},   {wxCANCEL_DEFAULT, " cancel-default"},
      {wxICON_ERROR, " icon-error"},   {wxICON_WARNING, " icon-warning"}, {wxICON_QUESTION, " icon-question"},
      {wxICON_INFORMATION, " icon-information"}, {wxICON_NONE, " icon-none"}};
  for (const auto& [flag, name] : flags)
    if (style & flag) text += name;
  return text;
}

// Watches every modal dialog: remembers what wx was asked to show, then reads and answers the window.
class BoxAnswerer : public wxModalDialogHook, public wxTimer {
 public:
  explicit BoxAnswerer(const Gtk& gtk) : gtk_(gtk) {}

  void Answer(int response) { response_ = response; }
  const std::string& Seen() const { return seen_; }

 protected:
  int Enter(wxDialog* dialog) override {
    dialog_ = dialog;
    seen_.clear();
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog))
      seen_ = "style=[" + Describe(box->GetMessageDialogStyle()) + "]";
    StartOnce(200);
    return wxID_NONE;  // show it for real
  }
  void Exit(wxDialog* /*dialog*/) override { dialog_ = nullptr; }

  void Notify() override {
    if (dialog_ == nullptr) return;
    // Waits for the window to be mapped, for a while: an unmapped box is answered all the same.
    void* window = dialog_->GetHandle();
    if (window == nullptr || (!gtk_.widgetGetMapped(window) && ++waits_ < 100)) {
      StartOnce(100);
      return;
    }
    waits_ = 0;
    char* text = nullptr;
    int kind = -1;
    gtk_.objectGet(window, "text", &text, "message-type", &kind, nullptr);
    const char* title = gtk_.windowGetTitle(window);
    seen_ += " mapped=" + std::to_string(gtk_.widgetGetMapped(window));
    seen_ += " title=[" + std::string(title != nullptr ? title : "") + "]";
    seen_ += " text=[" + std::string(text != nullptr ? text : "") + "]";
    seen_ += " kind=" + std::string(kind >= 0 && kind < 5 ? kKindNames[kind] : "unknown");
    gtk_.free(text);
    gtk_.dialogResponse(window, response_);
  }

 private:
  const Gtk& gtk_;
  wxDialog* dialog_ = nullptr;
  int response_ = kGtkResponseOk;
  int waits_ = 0;
  std::string seen_;
};

class WxProbeApp : public CWinApp {
 public:
  WxProbeApp() : CWinApp(u"Korvane Orbweave 9") {}

  BOOL InitInstance() override {
    std::printf("display=%s\n", compat::mfc::CurrentBackend().HasDisplay() ? "yes" : "no");
    std::printf("before=%d\n", AfxMessageBox(u"Before the window system", MB_ICONINFORMATION));

    int argc = 0;
    const bool started = wxEntryStart(argc, static_cast<wxChar**>(nullptr));
    const wxAppConsole* app = wxAppConsole::GetInstance();
    std::printf("started=%s gui=%s\n", started ? "yes" : "no", app != nullptr && app->IsGUI() ? "yes" : "no");
    Gtk gtk;
    if (started && gtk.Loaded()) {
      BoxAnswerer answerer(gtk);
      answerer.Register();
      Show(answerer, 1, u"Could not load orbcore.dll", MB_ICONERROR, kGtkResponseOk);
      Show(answerer, 2, u"Replace the disc?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, kGtkResponseYes);
      Show(answerer, 3, u"Low on space", MB_OKCANCEL | MB_ICONWARNING, kGtkResponseDeleteEvent);
      Show(answerer, 4, u"Keep the files?", MB_YESNOCANCEL | MB_DEFBUTTON3, kGtkResponseDeleteEvent);
      Show(answerer, 5, u"Gr\u00FC\u00DFe \u65E5\u672C", MB_YESNO, kGtkResponseDeleteEvent);
      answerer.Unregister();
    }
    if (started) wxEntryCleanup();

    std::printf("after=%d\n", AfxMessageBox(u"After the window system", MB_ICONWARNING));
    return FALSE;
  }

 private:
  static void Show(BoxAnswerer& answerer, int number, LPCWSTR text, UINT type, int response) {
    answerer.Answer(response);
    const int answer = AfxMessageBox(text, type);
    std::printf("box%d answer=%d %s\n", number, answer, answerer.Seen().c_str());
    std::fflush(stdout);
  }
};

WxProbeApp theApp;

}  // namespace
