// GTK's main loop and the main thread's message queue as one loop.
//
// One source in GTK's main context watches the queue's wake-up descriptor and
// its next window timer: whenever GTK's loop runs (a window's, a modal
// dialog's) and the queue has window messages or a timer comes due, the
// source dispatches them. The other way round, the queue's readers
// (GetMessageW, WaitMessage) sleep by running GTK's loop once; at the depth
// of dispatch where a reader sleeps the source leaves the queue to it, and a
// loop nested deeper (a dialog opened by an event handled meanwhile)
// dispatches the queue's messages again.
#include <dlfcn.h>

#include <chrono>
#include <climits>
#include <optional>

#include "compat/mfc/WxEventLoopInternal.h"
#include "compat/win32/Message.h"

namespace {

using Clock = std::chrono::steady_clock;

// GLib's table of a source's functions, as its ABI lays it out. GLib comes
// with GTK, so it is looked up rather than linked, which keeps its headers out.
struct SourceFuncs {
  int (*prepare)(void* source, int* timeout);
  int (*check)(void* source);
  int (*dispatch)(void* source, void* callback, void* data);
  void (*finalize)(void* source);
  void (*closureCallback)();
  void (*closureMarshal)();
};
constexpr int kReadable = 1;  // G_IO_IN
// Room for GLib's own source record (96 bytes on 64-bit systems), with margin.
constexpr unsigned kSourceSize = 256;

struct GLib {
  void* (*sourceNew)(SourceFuncs*, unsigned) = nullptr;
  void* (*sourceAddUnixFd)(void*, int, int) = nullptr;
  int (*sourceQueryUnixFd)(void*, void*) = nullptr;
  void (*sourceSetCanRecurse)(void*, int) = nullptr;
  unsigned (*sourceAttach)(void*, void*) = nullptr;
  void (*sourceDestroy)(void*) = nullptr;
  void (*sourceUnref)(void*) = nullptr;
  int (*contextIteration)(void*, int) = nullptr;
  int (*mainDepth)() = nullptr;
};

template <typename Function>
bool Find(void* library, const char* name, Function* to) {
  *to = reinterpret_cast<Function>(dlsym(library, name));
  return *to != nullptr;
}

// The queue's reader sleeping in GTK's loop now, if any: the depth of
// dispatch it sleeps at and when it wants to be woken.
struct Reader {
  int depth = -1;
  std::optional<Clock::time_point> deadline;

  int TimeoutMs() const {
    if (!deadline) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
  }
};

// The main thread's: the one GTK runs on.
struct Joined {
  GLib glib;
  void* source = nullptr;
  void* wakeTag = nullptr;
  Reader reader;
};
Joined& State() {
  static Joined joined;
  return joined;
}

bool AtReaderDepth() { return State().glib.mainDepth() == State().reader.depth; }

int Prepare(void*, int* timeout) {
  if (AtReaderDepth()) {
    *timeout = State().reader.TimeoutMs();
    return 0;
  }
  *timeout = compat::win32::NextWindowMessageTimeout();
  return *timeout == 0;
}

int Check(void* source) {
  if (AtReaderDepth()) return 0;
  return (State().glib.sourceQueryUnixFd(source, State().wakeTag) & kReadable) != 0 ||
         compat::win32::NextWindowMessageTimeout() == 0;
}

int Dispatch(void*, void*, void*) {
  compat::win32::DispatchWindowMessages();
  return 1;  // keep the source
}

SourceFuncs gFuncs{Prepare, Check, Dispatch, nullptr, nullptr, nullptr};

// Runs GTK's loop once for a reader of the queue, at the depth it is called.
void RunOnce(std::optional<Clock::time_point> deadline, bool mayBlock) {
  Joined& joined = State();
  const Reader outer = joined.reader;
  joined.reader = Reader{joined.glib.mainDepth(), deadline};
  joined.glib.contextIteration(nullptr, mayBlock ? 1 : 0);
  joined.reader = outer;
}

void Wait(int timeoutMs) {
  RunOnce(timeoutMs < 0 ? std::nullopt : std::optional(Clock::now() + std::chrono::milliseconds(timeoutMs)), true);
}

void HandlePending() { RunOnce(std::nullopt, false); }

const compat::win32::EventLoop kGtkLoop{Wait, HandlePending};

}  // namespace

namespace compat::mfc {

void JoinMessageQueueToMainLoop() {
  Joined& joined = State();
  if (joined.source != nullptr) return;
  void* library = dlopen("libglib-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return;
  GLib& g = joined.glib;
  const bool found = Find(library, "g_source_new", &g.sourceNew) &&
                     Find(library, "g_source_add_unix_fd", &g.sourceAddUnixFd) &&
                     Find(library, "g_source_query_unix_fd", &g.sourceQueryUnixFd) &&
                     Find(library, "g_source_set_can_recurse", &g.sourceSetCanRecurse) &&
                     Find(library, "g_source_attach", &g.sourceAttach) &&
                     Find(library, "g_source_destroy", &g.sourceDestroy) &&
                     Find(library, "g_source_unref", &g.sourceUnref) &&
                     Find(library, "g_main_context_iteration", &g.contextIteration) &&
                     Find(library, "g_main_depth", &g.mainDepth);
  // GTK keeps the library loaded.
  dlclose(library);
  if (!found) return;
  const int wakeFd = compat::win32::JoinEventLoop(&kGtkLoop);
  joined.source = g.sourceNew(&gFuncs, kSourceSize);
  joined.wakeTag = g.sourceAddUnixFd(joined.source, wakeFd, kReadable);
  // A window procedure may run a dialog's loop, which must dispatch the
  // queue's messages in turn.
  g.sourceSetCanRecurse(joined.source, 1);
  g.sourceAttach(joined.source, nullptr);
}

void PartMessageQueueFromMainLoop() {
  Joined& joined = State();
  if (joined.source == nullptr) return;
  joined.glib.sourceDestroy(joined.source);
  joined.glib.sourceUnref(joined.source);
  joined.source = nullptr;
  joined.wakeTag = nullptr;
  compat::win32::JoinEventLoop(nullptr);
}

}  // namespace compat::mfc
