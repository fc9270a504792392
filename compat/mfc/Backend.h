// The framework's user-interface backends. The program picks one at start:
// wxWidgets when a display is there (loaded as a module, so a run without a
// display never maps the GUI libraries), the console otherwise. Tests switch
// to the recording backend and read what would have been shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compat/win32/WinTypes.h"

namespace compat::mfc {

struct RecordedMessage {
  std::u16string text;
  UINT type;  // MB_* flags as passed
};

// A key press or click that reached one of the backend's windows, handed to
// the framework as the window message it is (WM_KEYDOWN, WM_LBUTTONDOWN, ...).
using WindowInput = void (*)(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);

class Backend {
 public:
  virtual ~Backend() = default;
  // Borderless pop-up windows that show pictures; 0 when none can be made,
  // which is always the answer of a backend without a screen: the console
  // shows no splash, and start-up goes on without waiting for one.
  // (Every member is defined here: the wx module derives from this class
  // without linking the framework.)
  virtual std::uintptr_t CreatePopup(int /*x*/, int /*y*/, int /*width*/, int /*height*/, WindowInput /*input*/) {
    return 0;
  }
  // False for a backend that never makes one, so a caller need not prepare
  // a window's picture in vain.
  virtual bool MakesPopups() const { return true; }
  virtual void MovePopup(std::uintptr_t /*window*/, int /*x*/, int /*y*/) {}
  // Lays the encoded picture's (PNG) rectangle from (srcX, srcY) onto the
  // window at (x, y) with the constant opacity (255 copies it), over what the
  // window shows; false when the picture cannot be decoded.
  virtual bool DrawPicture(std::uintptr_t /*window*/, const unsigned char* /*png*/, std::size_t /*size*/,
                           int /*srcX*/, int /*srcY*/, int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                           BYTE /*opacity*/) {
    return true;
  }
  virtual void DestroyPopup(std::uintptr_t /*window*/) {}
  // Lets the window system draw and deliver input meanwhile; false when the
  // display went away.
  virtual bool ProcessPending() { return true; }
  virtual bool ScreenSize(int* /*width*/, int* /*height*/) { return false; }

  // The button chosen (IDOK, IDCANCEL, IDYES, IDNO), or 0 when the box cannot
  // be shown at this moment; AfxMessageBox then falls back to the console.
  virtual int MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) = 0;
  virtual bool HasDisplay() const = 0;
};

// The backend in use; chosen on first use when nobody chose one.
Backend& CurrentBackend();
// "wx" when DISPLAY (or WAYLAND_DISPLAY) is set and the wx module loads,
// else "console". Returns the name chosen.
const char* ChooseBackend();
void UseConsoleBackend();
// Starts recording afresh; messages are kept and answered as their default
// button would answer (IDOK, IDYES unless MB_DEFBUTTON2 says otherwise).
void UseRecordingBackend();
const std::vector<RecordedMessage>& RecordedMessages();
// What the recording backend's windows were asked to do, a line a call:
// "create 412,284 200x100", "move 1 3,4", "draw 1 0,0 200x100 at 0,0 opacity 8",
// "destroy 1".
const std::vector<std::string>& RecordedWindowCalls();
void ClearRecordedMessages();

}  // namespace compat::mfc
