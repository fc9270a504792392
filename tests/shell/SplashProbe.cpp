// A framework program for the splash display test: starts wxWidgets as the
// shell does, shows the splash with the real clock, and at the named frames
// waits for the window system to catch up and photographs the screen.
//
//   SPLASH_SHOT_FOLDER=<folder> shell_splash_probe   # writes <folder>/splash-frame-<n>.png
//   SPLASH_PICTURE_MODULE=<module> shell_splash_probe  # the picture from that module instead
//   SPLASH_KILL_SERVER=<pid> shell_splash_probe        # kills the X server at the first frame's sleep
//   SPLASH_KILL_SERVER_UNREAD=<pid> shell_splash_probe # kills it while a new window's events wait unread
#include <dlfcn.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <wx/init.h>

#include "compat/mfc/Backend.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/Module.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Time.h"
#include "shell/Splash.h"

namespace {

void Pump(DWORD milliseconds) {
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < milliseconds) {
    compat::mfc::CurrentBackend().ProcessPending();
    Sleep(5);
  }
}

// Waits until the window system has handled every request so far: the
// events they caused (the window mapped, given the focus, exposed) are then
// read into the client's queue, where the toolkit has not yet seen them.
void SyncWithServer() {
  void* gdk = dlopen("libgdk-3.so.0", RTLD_LAZY | RTLD_NOLOAD);
  void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (gdk == nullptr || x11 == nullptr) return;
  const auto display = reinterpret_cast<void* (*)()>(dlsym(gdk, "gdk_display_get_default"));
  const auto xdisplay = reinterpret_cast<void* (*)(void*)>(dlsym(gdk, "gdk_x11_display_get_xdisplay"));
  const auto sync = reinterpret_cast<int (*)(void*, int)>(dlsym(x11, "XSync"));
  if (display != nullptr && xdisplay != nullptr && sync != nullptr) sync(xdisplay(display()), 0);
  dlclose(gdk);
  dlclose(x11);
}

// Kills the server and waits until it is gone (its connections closed): a
// zombie or no process at all.
void KillServer(int pid) {
  kill(pid, SIGKILL);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.find(") Z ") != std::string::npos) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// A window made, its events waiting unread, and the server killed: the
// events are then handled on a broken connection, where every question the
// toolkit asks the server fails.
void KillServerUnderUnreadEvents(int server) {
  compat::mfc::Backend& backend = compat::mfc::CurrentBackend();
  const std::uintptr_t popup = backend.CreatePopup(0, 0, 64, 64, nullptr);
  SyncWithServer();
  KillServer(server);
  const bool kept = backend.ProcessPending();
  backend.DestroyPopup(popup);
  std::printf("popup %s, kept %s, screen %s\n", popup != 0 ? "made" : "none", kept ? "yes" : "no",
              backend.HasDisplay() ? "yes" : "no");
}

class ProbeApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    int argc = 0;
    if (!wxEntryStart(argc, static_cast<wxChar**>(nullptr))) return FALSE;
    if (const char* server = std::getenv("SPLASH_KILL_SERVER_UNREAD")) {
      KillServerUnderUnreadEvents(std::atoi(server));
      wxEntryCleanup();
      return FALSE;
    }
    // The folder comes from the environment: the framework owns the command line.
    const char* named = std::getenv("SPLASH_SHOT_FOLDER");
    const std::string folder = named != nullptr ? named : ".";
    const char* pictures = std::getenv("SPLASH_PICTURE_MODULE");
    const HMODULE pictureModule =
        pictures != nullptr ? LoadLibraryW(compat::win32::Utf8ToUtf16(pictures).c_str()) : nullptr;
    const char* server = std::getenv("SPLASH_KILL_SERVER");
    int frame = 0;
    SetSplashEnvironment({timeGetTime,
                          [&](DWORD milliseconds) {
                            ++frame;
                            if (server != nullptr) {
                              if (frame == 1) kill(std::atoi(server), SIGKILL);
                            } else if (frame == 3 || frame == 16) {
                              // After frame 3, early in the fade, and frame 16, half-way.
                              Pump(400);
                              const std::string command = "import -window root '" + folder +
                                                          "/splash-frame-" + std::to_string(frame) + ".png'";
                              std::printf("%s: %d\n", command.c_str(), std::system(command.c_str()));
                            }
                            Pump(milliseconds);
                          },
                          u"msimg32.dll", pictureModule});
    EnableSplash(true);
    ShowSplash(true, 1500, 60, nullptr);
    std::printf("frames %d, screen %s\n", frame, compat::mfc::CurrentBackend().HasDisplay() ? "yes" : "no");
    wxEntryCleanup();
    return FALSE;
  }
};

ProbeApp theApp;

}  // namespace
