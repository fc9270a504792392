// The wxWidgets backend, built as a module that the framework loads only when
// a display is there, so that a run without one never maps the GUI libraries.
//
// Loading the module registers a GUI application initializer: the program's
// own wxEntryStart then builds a GUI application and starts GTK, and every
// window of the process (these message boxes, the engine's windows) shares
// that one application.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>
#include <wx/uilocale.h>
#include <wx/utils.h>

#include "compat/mfc/MessageStyle.h"
#include "compat/mfc/WxEventLoopInternal.h"
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

// Set once the window system's connection broke (its server ended or was
// killed) while the backend worked on its own pop-ups: from then on this
// process has no windows, as if it had started without a display.
std::atomic<bool> g_displayLost{false};

// How deep the backend's own window work (making, drawing, yielding to and
// destroying pop-ups) is on the stack. A broken connection noticed there
// ends only the pop-ups; noticed anywhere else (a window or dialog running
// its own loop, which cannot go on without the display) it ends the process
// as GTK ends it.
int g_ownWork = 0;

class OwnWork {
 public:
  OwnWork() { ++g_ownWork; }
  ~OwnWork() { --g_ownWork; }
  OwnWork(const OwnWork&) = delete;
  OwnWork& operator=(const OwnWork&) = delete;
};

using IoErrorHandler = int (*)(void*);
using IoErrorExitHandler = void (*)(void*, void*);
IoErrorHandler g_toolkitHandler = nullptr;

// Xlib calls this first when the connection breaks. Returning hands over to
// the exit handler below instead of ending the process.
int OnBrokenConnection(void* display) {
  if (g_ownWork > 0) return 0;
  std::fprintf(stderr, "%s: lost the connection to the display\n", program_invocation_short_name);
  return g_toolkitHandler != nullptr ? g_toolkitHandler(display) : 0;
}

// Xlib's last word on a broken connection, in place of ending the process:
// the rest of the program goes on without a display, and Xlib drops later
// requests on the connection. The display's name leaves the environment too,
// or the parts that decide by it (the engine, links opened in a browser)
// would turn to a server that is gone.
void AfterBrokenConnection(void* /*display*/, void* /*data*/) {
  if (g_ownWork == 0) std::exit(1);  // what Xlib itself does here
  if (g_displayLost.exchange(true)) return;
  std::fprintf(stderr, "%s: lost the connection to the display; going on without windows\n",
               program_invocation_short_name);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

// Takes over the handling of a broken X connection where Xlib lets a program
// replace the ending of the process (libX11 1.7 and later). With an older
// Xlib, or under Wayland, GTK's handling stays, which ends the process.
void HandleBrokenConnection() {
  const wxDisplayInfo info = wxGetDisplayInfo();
  if (info.type != wxDisplayX11 || info.dpy == nullptr) return;
  void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (x11 == nullptr) return;
  const auto setHandler = reinterpret_cast<IoErrorHandler (*)(IoErrorHandler)>(dlsym(x11, "XSetIOErrorHandler"));
  const auto setExitHandler =
      reinterpret_cast<void (*)(void*, IoErrorExitHandler, void*)>(dlsym(x11, "XSetIOErrorExitHandler"));
  if (setHandler != nullptr && setExitHandler != nullptr) {
    setExitHandler(info.dpy, AfterBrokenConnection, nullptr);
    g_toolkitHandler = setHandler(OnBrokenConnection);
  }
  dlclose(x11);
}

// The program drives start-up and shut-down itself (wxEntryStart,
// wxEntryCleanup), so the application needs no OnInit of its own.
// Once GTK runs, its main loop and the main thread's message queue are one
// loop, until the application cleans up.
class GuiApp : public wxApp {
 public:
  bool Initialize(int& argc, wxChar** argv) override {
    const bool started = wxApp::Initialize(argc, argv);
    ProbeConnection().Release();
    if (started) {
      compat::mfc::JoinMessageQueueToMainLoop();
      HandleBrokenConnection();
    }
    return started;
  }
  void CleanUp() override {
    compat::mfc::PartMessageQueueFromMainLoop();
    wxApp::CleanUp();
  }

  // Each window asks for the layout direction as it is made. wxWidgets
  // answers from its user-interface locale and, on the first question,
  // builds its whole table of languages to look the locale up: about 12
  // million instructions, a twentieth of the way to the first window. For
  // the C locale it starts with, which this program keeps, the answer is
  // left to right.
  wxLayoutDirection GetLayoutDirection() const override {
    if (wxUILocale::GetCurrent().GetName() == "C") return wxLayout_LeftToRight;
    return wxApp::GetLayoutDirection();
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

// Windows can be made, drawn and asked about: a GUI application runs, on its
// own thread, and its display is still there.
bool WindowsUsable() { return GuiAppRunning() && wxIsMainThread() && !g_displayLost; }

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

// Win32's message codes for the input a pop-up hands to the framework.
constexpr UINT kKeyDown = 0x0100;
constexpr UINT kSysKeyDown = 0x0104;
constexpr UINT kLeftButtonDown = 0x0201;
constexpr UINT kRightButtonDown = 0x0204;
constexpr UINT kMiddleButtonDown = 0x0207;

// A borderless window that keeps what was drawn onto it in an image of its
// own, as the desktop's window keeps its pixels: a picture laid over it with
// some opacity blends with what is there, and an expose redraws the image.
class Popup final : public wxFrame {
 public:
  Popup(int x, int y, int width, int height, compat::mfc::WindowInput input)
      : wxFrame(nullptr, wxID_ANY, wxEmptyString, wxPoint(x, y), wxSize(width, height),
                wxBORDER_NONE | wxSTAY_ON_TOP | wxFRAME_NO_TASKBAR | wxFRAME_TOOL_WINDOW),
        m_pixels(width, height), m_input(input) {  // a new image is black
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetCursor(wxCursor(wxCURSOR_ARROW));
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
      wxPaintDC dc(this);
      dc.DrawBitmap(wxBitmap(m_pixels), 0, 0);
    });
    Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
      Forward(event.AltDown() ? kSysKeyDown : kKeyDown, static_cast<WPARAM>(event.GetRawKeyCode()), 0);
    });
    const auto click = [this](UINT message) {
      return [this, message](wxMouseEvent& event) {
        const auto x = static_cast<std::uint16_t>(event.GetX());
        const auto y = static_cast<std::uint16_t>(event.GetY());
        Forward(message, 0, static_cast<LPARAM>(x | (static_cast<std::uint32_t>(y) << 16)));
      };
    };
    Bind(wxEVT_LEFT_DOWN, click(kLeftButtonDown));
    Bind(wxEVT_RIGHT_DOWN, click(kRightButtonDown));
    Bind(wxEVT_MIDDLE_DOWN, click(kMiddleButtonDown));
  }

  // Blends the picture's rectangle over the kept pixels and shows the result.
  void Lay(const wxImage& picture, int srcX, int srcY, int x, int y, int width, int height, BYTE opacity) {
    unsigned char* to = m_pixels.GetData();
    const unsigned char* from = picture.GetData();
    const int targetWidth = m_pixels.GetWidth();
    const int targetHeight = m_pixels.GetHeight();
    for (int row = 0; row < height; ++row) {
      const int ty = y + row;
      if (ty < 0 || ty >= targetHeight) continue;
      for (int column = 0; column < width; ++column) {
        const int tx = x + column;
        if (tx < 0 || tx >= targetWidth) continue;
        unsigned char* target = to + 3 * (static_cast<std::size_t>(ty) * targetWidth + tx);
        const unsigned char* source =
            from + 3 * (static_cast<std::size_t>(srcY + row) * picture.GetWidth() + srcX + column);
        for (int channel = 0; channel < 3; ++channel) {
          target[channel] = static_cast<unsigned char>(
              (source[channel] * opacity + target[channel] * (255 - opacity) + 127) / 255);
        }
      }
    }
    Refresh(false);
    Update();
  }

 private:
  void Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_input != nullptr) m_input(reinterpret_cast<std::uintptr_t>(this), message, wParam, lParam);
  }

  wxImage m_pixels;
  compat::mfc::WindowInput m_input;
};

class WxBackend final : public compat::mfc::Backend {
 public:
  std::uintptr_t CreatePopup(int x, int y, int width, int height, compat::mfc::WindowInput input) override {
    if (!WindowsUsable() || width <= 0 || height <= 0) return 0;
    const OwnWork work;
    auto* popup = new Popup(x, y, width, height, input);
    popup->Show();
    popup->Raise();
    m_popups.push_back(popup);
    return reinterpret_cast<std::uintptr_t>(popup);
  }
  void MovePopup(std::uintptr_t window, int x, int y) override {
    const OwnWork work;
    if (Popup* popup = Find(window); popup != nullptr && WindowsUsable()) popup->Move(x, y);
  }
  bool DrawPicture(std::uintptr_t window, const unsigned char* png, std::size_t size, int srcX, int srcY, int x,
                   int y, int width, int height, BYTE opacity) override {
    if (!WindowsUsable()) return false;
    const OwnWork work;
    const wxImage* picture = Decoded(png, size);
    if (picture == nullptr) return false;
    if (srcX < 0 || srcY < 0 || srcX + width > picture->GetWidth() || srcY + height > picture->GetHeight()) {
      return false;
    }
    // Drawn at once, without taking input: a click handled here could end
    // the window's owner in the middle of its drawing.
    if (Popup* popup = Find(window)) popup->Lay(*picture, srcX, srcY, x, y, width, height, opacity);
    return true;
  }
  void DestroyPopup(std::uintptr_t window) override {
    const OwnWork work;
    if (Popup* popup = Find(window)) {
      m_popups.erase(std::find(m_popups.begin(), m_popups.end(), popup));
      popup->Destroy();
      ProcessPending();
    }
  }
  bool ProcessPending() override {
    const OwnWork work;
    if (WindowsUsable()) wxTheApp->Yield(true);
    return !g_displayLost;
  }
  bool ScreenSize(int* width, int* height) override {
    if (!WindowsUsable()) return false;
    const OwnWork work;
    const wxRect screen = wxDisplay(0u).GetGeometry();
    if (screen.width <= 0 || screen.height <= 0) return false;
    *width = screen.width;
    *height = screen.height;
    return true;
  }

  int MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) override {
    // Before wxEntryStart, after wxEntryCleanup, or when start-up built no
    // GUI application, or the display went away, no window can be shown:
    // the framework uses the console.
    if (!WindowsUsable()) return 0;
    return AnswerOf(wxMessageBox(ToWx(text), ToWx(caption), StyleOf(type)), type);
  }
  bool HasDisplay() const override { return !g_displayLost; }

 private:
  Popup* Find(std::uintptr_t window) const {
    const auto found = std::find(m_popups.begin(), m_popups.end(), reinterpret_cast<Popup*>(window));
    return found == m_popups.end() ? nullptr : *found;
  }
  // Pictures are resources that stay for the life of the program: each is
  // decoded once, by the address of its bytes. Null when it does not decode.
  const wxImage* Decoded(const unsigned char* png, std::size_t size) {
    auto found = m_pictures.find(png);
    if (found == m_pictures.end()) {
      if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
      wxMemoryInputStream stream(png, size);
      wxImage image;
      // A picture that does not decode is the caller's to handle: wxWidgets'
      // own report would wait in a message box at the next flush of its log.
      const wxLogNull quiet;
      if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) image = wxImage();
      found = m_pictures.emplace(png, image).first;
    }
    return found->second.IsOk() ? &found->second : nullptr;
  }

  std::vector<Popup*> m_popups;
  std::unordered_map<const unsigned char*, wxImage> m_pictures;
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

// GDK asks the input extension where the pointer is (when a window gains the
// focus, among other times) and then reads the buttons' state that the
// answer fills in, even when no answer came. On a broken connection no
// answer comes, and GDK follows a pointer to the pressed buttons left over
// on its stack. Loaded before the toolkit's libraries, this module is where
// GDK finds the function: it sets the buttons' state to none pressed, then
// asks the extension. (The other parts of the answer are plain numbers.)
namespace {
struct ButtonState {
  int maskLength;
  unsigned char* mask;
};
}  // namespace

extern "C" __attribute__((visibility("default"))) int XIQueryPointer(void* display, int device, unsigned long window,
                                                                     void* root, void* child, void* rootX, void* rootY,
                                                                     void* windowX, void* windowY, ButtonState* buttons,
                                                                     void* modifiers, void* group);

extern "C" int XIQueryPointer(void* display, int device, unsigned long window, void* root, void* child, void* rootX,
                              void* rootY, void* windowX, void* windowY, ButtonState* buttons, void* modifiers,
                              void* group) {
  // GDK links the extension's library, so it is loaded whenever GDK calls.
  static const auto extension = reinterpret_cast<decltype(&XIQueryPointer)>(dlsym(RTLD_NEXT, "XIQueryPointer"));
  *buttons = {};
  return extension(display, device, window, root, child, rootX, rootY, windowX, windowY, buttons, modifiers, group);
}
