// The engine's own texts: English defaults under keys of the engine's own,
// replaced by the language pack the shell chose when it has them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "peers/orbcore/Task.h"

namespace orbcore {

class EngineTexts {
 public:
  // The text under `key`, else `english`.
  std::string Get(const std::string& key, std::string_view english) const;
  void Set(std::string key, std::string text) { texts_[std::move(key)] = std::move(text); }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

// `bytes` in megabytes to one decimal ("12.3 MB"), with the decimal point of
// the pack's language ("12,3 MB" in German) rather than the process locale's.
std::string Megabytes(double bytes, const EngineTexts& texts);

// The user's message for a failed task, with %FILE% filled in.
std::string FailureMessage(const TaskOutcome& outcome, const EngineTexts& texts);

// A task the window offers: its title and a line on what it does, each a
// key with its English default.
struct WindowTask {
  std::uint32_t taskCode;
  const char* titleKey;
  const char* title;
  const char* noteKey;
  const char* note;
};

// The tasks of the start page, in its order.
std::span<const WindowTask> WindowTasks();
// The title of the task `taskCode` ("Copy a disc"); a data disc's for any
// task the window does not offer.
std::string TaskTitleOf(std::uint32_t taskCode, const EngineTexts& texts);

}  // namespace orbcore
