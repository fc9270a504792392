// Progress lines and the signals that cancel a run without a window.
#include "peers/orbcore/ConsoleRun.h"

#include <csignal>
#include <cstdio>
#include <iostream>

namespace orbcore {

namespace {

volatile std::sig_atomic_t g_cancel = 0;

extern "C" void OnCancelSignal(int) { g_cancel = 1; }

// The handlers the process had before the run, put back after it.
struct SavedHandlers {
  struct sigaction interrupt {}, terminate {};
};
SavedHandlers g_saved;

}  // namespace

std::string ProgressLine(const TaskProgress& progress, const EngineTexts& texts) {
  std::string line = texts.Get("Orbcore.Progress.Writing", "Writing") + ": ";
  if (progress.total == 0) return line + Megabytes(static_cast<double>(progress.done), texts);
  const int percent = static_cast<int>(progress.done * 100 / progress.total);
  line += std::to_string(percent) + "% " + texts.Get("Orbcore.Progress.Of", "of") + " " +
          Megabytes(static_cast<double>(progress.total), texts);
  if (progress.bytesPerSecond > 0) {
    line += ", " + Megabytes(progress.bytesPerSecond, texts) + "/s";
    const auto left = static_cast<unsigned long>(static_cast<double>(progress.total - progress.done) / progress.bytesPerSecond);
    char clock[32];
    std::snprintf(clock, sizeof clock, "%lu:%02lu", left / 60, left % 60);
    line += ", " + std::string(clock) + " " + texts.Get("Orbcore.Progress.Left", "left");
  }
  return line;
}

ConsoleObserver::ConsoleObserver(std::ostream& out, bool terminal, const EngineTexts& texts, std::istream* answers)
    : out_(out), answers_(answers), terminal_(terminal), texts_(texts) {
  g_cancel = 0;
  struct sigaction action {};
  action.sa_handler = OnCancelSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_saved.interrupt);
  sigaction(SIGTERM, &action, &g_saved.terminate);
}

ConsoleObserver::~ConsoleObserver() {
  Finish();
  sigaction(SIGINT, &g_saved.interrupt, nullptr);
  sigaction(SIGTERM, &g_saved.terminate, nullptr);
}

void ConsoleObserver::Progress(const TaskProgress& progress) {
  // A line for each whole percent, not for each poll.
  const int percent = progress.total == 0 ? 0 : static_cast<int>(progress.done * 100 / progress.total);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  if (terminal_) {
    out_ << '\r' << ProgressLine(progress, texts_) << "\x1b[K" << std::flush;
    lineOpen_ = true;
  } else {
    out_ << ProgressLine(progress, texts_) << '\n' << std::flush;
  }
}

bool ConsoleObserver::CancelRequested() { return g_cancel != 0; }

bool ConsoleObserver::AskForBlankDisc(const std::string& drive) {
  Finish();
  std::string text = texts_.Get("Orbcore.Progress.InsertBlank",
                                "The disc is read. Take it out of %FILE%, put in a blank disc and press Enter to "
                                "write the copy (end of input cancels).");
  if (const std::size_t at = text.find("%FILE%"); at != std::string::npos) text.replace(at, 6, drive);
  out_ << text << '\n' << std::flush;
  std::string line;
  const bool answered = static_cast<bool>(std::getline(answers_ != nullptr ? *answers_ : std::cin, line));
  lastPercent_ = -1;
  return answered && g_cancel == 0;
}

void ConsoleObserver::Finish() {
  if (lineOpen_) out_ << '\n' << std::flush;
  lineOpen_ = false;
}

}  // namespace orbcore
