// The framework's user-interface backends. The program picks one at start:
// wxWidgets when a display is there (loaded as a module, so a run without a
// display never maps the GUI libraries), the console otherwise. Tests switch
// to the recording backend and read what would have been shown.
#pragma once

#include <string>
#include <vector>

#include "compat/win32/WinTypes.h"

namespace compat::mfc {

struct RecordedMessage {
  std::u16string text;
  UINT type;  // MB_* flags as passed
};

class Backend {
 public:
  virtual ~Backend() = default;
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
void ClearRecordedMessages();

}  // namespace compat::mfc
