// The wxWidgets backend, built as a module that the framework loads only when
// a display is there, so that a run without one never maps the GUI libraries.
//
// Loading the module registers a GUI application initializer: the program's
// own wxEntryStart then builds a GUI application and starts GTK, and every
// window of the process (these message boxes, the engine's windows) shares
// that one application.
#include <dlfcn.h>

#include <cstdlib>
#include <type_traits>

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include "compat/mfc/MessageStyle.h"
#include "compat/mfc/WxBackendModule.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/StringConv.h"

namespace {

// The connection that found the display answering, held until GTK has its
// own: an X server whose last client leaves resets itself and refuses new
// connections meanwhile, which would fail GTK's start right after the probe.
struct HeldConnection {
  void* connection = nullptr;
  int (*close)(void*) = nullptr;

  void Release() {
    if (connection != nullptr) close(connection);
    connection = nullptr;
  }
};

HeldConnection& ProbeConnection() {
  static HeldConnection held;
  return held;
}

// The program drives start-up and shut-down itself (wxEntryStart,
// wxEntryCleanup), so the application needs no OnInit of its own.
class GuiApp : public wxApp {
 public:
  bool Initialize(int& argc, wxChar** argv) override {
    const bool started = wxApp::Initialize(argc, argv);
    ProbeConnection().Release();
    return started;
  }
};

wxAppConsole* CreateGuiApp() { return new GuiApp; }

// The window system's client libraries come with GTK, so they are loaded
// already; they are looked up rather than linked to keep their headers out.
// With `held`, a connection that answers stays open in it instead of closing.
template <typename Open, typename Close>
bool Connects(const char* library, const char* openName, const char* closeName, const char* variable,
              HeldConnection* held = nullptr) {
  const char* display = std::getenv(variable);
  if (display == nullptr || *display == '\0') return false;
  void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  const auto open = reinterpret_cast<Open>(dlsym(handle, openName));
  const auto close = reinterpret_cast<Close>(dlsym(handle, closeName));
  void* connection = open != nullptr && close != nullptr ? open(display) : nullptr;
  if constexpr (std::is_same_v<Close, int (*)(void*)>) {
    if (connection != nullptr && held != nullptr) {
      held->Release();
      *held = HeldConnection{connection, close};
      dlclose(handle);
      return true;
    }
  }
  if (connection != nullptr) close(connection);
  dlclose(handle);
  return connection != nullptr;
}

// Whether the display named in the environment answers. A stale DISPLAY
// would otherwise make GTK fail inside the program's wxEntryStart and take
// wxWidgets' start down with it; without an answer the framework stays on
// the console and wxEntryStart builds a console application.
bool DisplayAnswers() {
  return Connects<void* (*)(const char*), void (*)(void*)>("libwayland-client.so.0", "wl_display_connect",
                                                          "wl_display_disconnect", "WAYLAND_DISPLAY") ||
         Connects<void* (*)(const char*), int (*)(void*)>("libX11.so.6", "XOpenDisplay", "XCloseDisplay",
                                                         "DISPLAY", &ProbeConnection());
}

// Asked of the application as the console application it may be: in code
// built with windows, wxTheApp casts to wxApp, which a console application
// is not.
bool GuiAppRunning() {
  const wxAppConsole* app = wxAppConsole::GetInstance();
  return app != nullptr && app->IsGUI();
}

wxString ToWx(LPCWSTR text) { return wxString::FromUTF8(compat::win32::Utf16ToUtf8(text)); }

long StyleOf(UINT type) {
  using compat::mfc::MessageKind;
  const compat::mfc::ButtonSet buttons = compat::mfc::ButtonsOf(type);
  long style = 0;
  switch (buttons.count) {
    case 3:
      style = wxYES_NO | wxCANCEL;
      break;
    case 2:
      style = buttons.answers[0] == IDYES ? wxYES_NO : wxOK | wxCANCEL;
      break;
    default:
      style = wxOK;
      break;
  }
  switch (compat::mfc::DefaultAnswer(type)) {
    case IDNO:
      style |= wxNO_DEFAULT;
      break;
    case IDCANCEL:
      style |= wxCANCEL_DEFAULT;
      break;
    default:
      break;  // the first button is the default already
  }
  switch (compat::mfc::KindOf(type)) {
    case MessageKind::kError:
      return style | wxICON_ERROR;
    case MessageKind::kQuestion:
      return style | wxICON_QUESTION;
    case MessageKind::kWarning:
      return style | wxICON_WARNING;
    case MessageKind::kInformation:
      return style | wxICON_INFORMATION;
    case MessageKind::kPlain:
      break;
  }
  return style | wxICON_NONE;
}

// A box closed without a button (Escape, the window's close button) answers
// Cancel when it has one; a box without Cancel answers its last button, the
// one that commits to nothing (OK alone, No).
int AnswerOf(int chosen, UINT type) {
  const compat::mfc::ButtonSet buttons = compat::mfc::ButtonsOf(type);
  int answer = IDCANCEL;
  switch (chosen) {
    case wxOK:
      answer = IDOK;
      break;
    case wxYES:
      answer = IDYES;
      break;
    case wxNO:
      answer = IDNO;
      break;
    default:
      break;
  }
  for (int i = 0; i < buttons.count; ++i) {
    if (buttons.answers[i] == answer) return answer;
  }
  return buttons.answers[buttons.count - 1];
}

class WxBackend final : public compat::mfc::Backend {
 public:
  int MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) override {
    // Before wxEntryStart, after wxEntryCleanup, or when start-up built no
    // GUI application, no window can be shown: the framework uses the console.
    if (!GuiAppRunning() || !wxIsMainThread()) return 0;
    return AnswerOf(wxMessageBox(ToWx(text), ToWx(caption), StyleOf(type)), type);
  }
  bool HasDisplay() const override { return true; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) compat::mfc::Backend* compat_mfc_CreateWxBackend() {
  if (!DisplayAnswers()) return nullptr;
  // Leave alone an application that exists already, or an initializer that
  // another module put in place first.
  if (wxAppConsole::GetInstance() == nullptr && wxApp::GetInitializerFunction() == nullptr) {
    wxApp::SetInitializerFunction(CreateGuiApp);
  }
  static compat::win32::NoDestructor<WxBackend> backend;
  return backend.get();
}
