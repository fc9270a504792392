// A task run without a window: progress on standard error (updated in place
// on a terminal, one line per step otherwise), cancelled by an interrupt or
// terminate signal, and one message in the user's words at the end.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "peers/orbcore/EngineTexts.h"
#include "peers/orbcore/Task.h"

namespace orbcore {

// The progress line: "Writing: 42% of 700.0 MB, 12.3 MB/s, 0:15 left".
std::string ProgressLine(const TaskProgress& progress, const EngineTexts& texts);

class ConsoleObserver : public TaskObserver {
 public:
  ConsoleObserver(std::ostream& out, bool terminal, const EngineTexts& texts, std::istream* answers = nullptr);
  ~ConsoleObserver() override;
  ConsoleObserver(const ConsoleObserver&) = delete;
  ConsoleObserver& operator=(const ConsoleObserver&) = delete;

  void Progress(const TaskProgress& progress) override;
  bool CancelRequested() override;
  // Asks on the progress stream and waits for a line on standard input; the
  // end of the input, or a cancel signal, answers no.
  bool AskForBlankDisc(const std::string& drive) override;
  // Ends the line a terminal was updating in place.
  void Finish();

 private:
  std::ostream& out_;
  std::istream* answers_;  // where the user answers; none: standard input
  bool terminal_;
  const EngineTexts& texts_;
  int lastPercent_ = -1;
  bool lineOpen_ = false;
};

}  // namespace orbcore
