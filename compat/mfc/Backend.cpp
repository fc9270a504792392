// The choice of user-interface backend, the recording backend and the
// message box that goes through them.
#include "compat/mfc/Backend.h"

#include <cstdlib>

#include "compat/mfc/ConsoleBackend.h"
#include "compat/mfc/MessageBox.h"
#include "compat/mfc/MessageStyle.h"
#include "compat/mfc/WinApp.h"
#include "compat/mfc/WxBackendModule.h"
#include "compat/win32/Module.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Resource.h"

namespace compat::mfc {
namespace {

class RecordingBackend final : public Backend {
 public:
  std::uintptr_t CreatePopup(int x, int y, int width, int height, WindowInput /*input*/) override {
    windowCalls.push_back("create " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) +
                          "x" + std::to_string(height));
    // The recorded windows exist nowhere; each is told apart by a number.
    return ++lastWindow;
  }
  void MovePopup(std::uintptr_t window, int x, int y) override {
    windowCalls.push_back("move " + std::to_string(window) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  bool DrawPicture(std::uintptr_t window, const unsigned char* /*png*/, std::size_t /*size*/, int srcX, int srcY,
                   int x, int y, int width, int height, BYTE opacity) override {
    windowCalls.push_back("draw " + std::to_string(window) + " " + std::to_string(srcX) + "," +
                          std::to_string(srcY) + " " + std::to_string(width) + "x" + std::to_string(height) +
                          " at " + std::to_string(x) + "," + std::to_string(y) + " opacity " +
                          std::to_string(opacity));
    return true;
  }
  void DestroyPopup(std::uintptr_t window) override { windowCalls.push_back("destroy " + std::to_string(window)); }

  int MessageBox(LPCWSTR text, LPCWSTR /*caption*/, UINT type) override {
    messages.push_back({text, type});
    return DefaultAnswer(type);
  }
  bool HasDisplay() const override { return false; }

  std::vector<RecordedMessage> messages;
  std::vector<std::string> windowCalls;
  std::uintptr_t lastWindow = 0;
};

struct Backends {
  Backend* current = nullptr;
  ConsoleBackend console;
  RecordingBackend recording;
  Backend* wx = nullptr;
  bool wxTried = false;
};

// Never destroyed: a message box may still be asked for while static objects
// are torn down at exit, and the wx backend belongs to a module that stays.
Backends& TheBackends() {
  static compat::win32::NoDestructor<Backends> backends;
  return *backends;
}

bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// The module is loaded once and never unloaded; a failure is not retried.
Backend* LoadWxBackend(Backends& backends) {
  if (!backends.wxTried) {
    backends.wxTried = true;
    if (HMODULE module = LoadLibraryW(kWxModuleName)) {
      auto create = reinterpret_cast<WxBackendFactory>(GetProcAddress(module, kWxBackendFactory));
      backends.wx = create != nullptr ? create() : nullptr;
    }
  }
  return backends.wx;
}

bool ScreenOfCurrentBackend(int* width, int* height) {
  Backend* current = TheBackends().current;
  return current != nullptr && current->ScreenSize(width, height);
}

}  // namespace

Backend& CurrentBackend() {
  Backends& backends = TheBackends();
  if (backends.current == nullptr) ChooseBackend();
  return *backends.current;
}

const char* ChooseBackend() {
  Backends& backends = TheBackends();
  compat::win32::SetScreenSizeSource(ScreenOfCurrentBackend);
  if (DisplayNamed()) {
    if (Backend* wx = LoadWxBackend(backends)) {
      backends.current = wx;
      return "wx";
    }
  }
  backends.current = &backends.console;
  return "console";
}

void UseConsoleBackend() {
  Backends& backends = TheBackends();
  backends.current = &backends.console;
}

void UseRecordingBackend() {
  Backends& backends = TheBackends();
  backends.recording.messages.clear();
  backends.recording.windowCalls.clear();
  backends.current = &backends.recording;
}

const std::vector<RecordedMessage>& RecordedMessages() { return TheBackends().recording.messages; }

const std::vector<std::string>& RecordedWindowCalls() { return TheBackends().recording.windowCalls; }

void ClearRecordedMessages() { TheBackends().recording.messages.clear(); }

}  // namespace compat::mfc

int AfxMessageBox(LPCWSTR text, UINT type, UINT /*helpId*/) {
  using namespace compat::mfc;
  if (text == nullptr) text = u"";
  // The caption is the application's name, as the framework's boxes have it.
  const CWinApp* app = AfxGetApp();
  const std::u16string caption =
      app != nullptr && app->m_pszAppName != nullptr ? std::u16string(app->m_pszAppName) : ProgramName();
  // The box may wait for the user: no hive's read stays open meanwhile.
  compat::win32::ReleaseHeldRegistryReads();
  const int answer = CurrentBackend().MessageBox(text, caption.c_str(), type);
  // A backend that cannot show the box now (the window system is not started
  // yet, or already shut down) answers 0; the console then says it.
  if (answer != 0) return answer;
  return TheBackends().console.MessageBox(text, caption.c_str(), type);
}
