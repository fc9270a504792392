// The burning part of the engine window: the task's files or tracks with
// their sizes against the medium (for a copy or a rip, what is read), the
// drive or image file to write, whether to start a new disc, a start
// button, progress with percent, speed and time left, and Cancel.
#pragma once

#include <wx/panel.h>

#include <functional>

#include "peers/orbcore/EngineView.h"

namespace orbcore {

// Made only for a view with a `run`; the task runs on a thread of its own.
// `back`, when given, is what a "Tasks" button does: back to the start page.
wxPanel* MakeBurnPanel(wxWindow* parent, const EngineView& view, std::function<void()> back);

// Asks a running task to stop and waits for it; true when none runs (any
// more). The window calls it before it closes.
bool StopBurn(wxPanel* panel);

}  // namespace orbcore
