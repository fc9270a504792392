// The window system's main loop and the main thread's message queue as one
// loop, for the wx module: whichever of the two runs, the other's events are
// handled.
#pragma once

namespace compat::mfc {

// Joins GTK's main loop to the calling thread's message queue, once GTK has
// started; without GLib's calls at hand the two stay apart.
void JoinMessageQueueToMainLoop();
// Parts them again, before GTK stops.
void PartMessageQueueFromMainLoop();

}  // namespace compat::mfc
